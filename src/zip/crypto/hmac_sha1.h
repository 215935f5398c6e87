// HMAC-SHA1 (RFC 2104): the authentication code of zip's AES entries. From the system's
// cryptographic library (libcrypto on Linux, CNG on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zipcrypto {

/// HMAC-SHA1 with a key set once for any number of messages.
class CHmacSha1 {
public:
    /// Output size in bytes.
    static constexpr size_t kDigestSize = 20;

    CHmacSha1();
    ~CHmacSha1();
    CHmacSha1(const CHmacSha1&) = delete;
    CHmacSha1& operator=(const CHmacSha1&) = delete;

    /// Sets the key (any length) and starts a message. False when the library fails.
    bool SetKey(const uint8_t* key, size_t length);
    /// Adds message bytes. False without a key or when the library fails.
    bool Update(const uint8_t* data, size_t length);
    /// Writes the 20-byte code of the message to `mac` and starts a new message with the
    /// same key. False without a key or when the library fails.
    bool Final(uint8_t* mac);

private:
    struct State;                    // the library's context, defined by the backend
    std::unique_ptr<State> m_state;  // never null
};

}  // namespace zipcrypto
