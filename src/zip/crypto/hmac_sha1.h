// HMAC-SHA1 (RFC 2104): the authentication code of zip's AES entries and the function
// under PBKDF2.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zip/crypto/sha1.h"

namespace zipcrypto {

/// HMAC-SHA1 with a key set once; the inner and outer states after the padded key are
/// kept, so that each further message costs only its own blocks.
class CHmacSha1 {
public:
    /// Output size in bytes.
    static constexpr size_t kDigestSize = CSha1::kDigestSize;

    /// Sets the key (any length; keys longer than a block are hashed first) and starts a
    /// message.
    void SetKey(const uint8_t* key, size_t length);
    /// Starts a new message with the same key.
    void Restart() { m_inner = m_innerStart; }
    /// Adds message bytes.
    void Update(const uint8_t* data, size_t length) { m_inner.Update(data, length); }
    /// Writes the 20-byte code of the message to `mac` and starts a new message.
    void Final(uint8_t* mac);

private:
    CSha1 m_innerStart;  // after the key XOR ipad
    CSha1 m_outerStart;  // after the key XOR opad
    CSha1 m_inner;       // the running message
};

}  // namespace zipcrypto
