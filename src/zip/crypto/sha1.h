// SHA-1 (FIPS 180-4), the hash under zip's AES format. The reader reaches it only through
// HMAC-SHA1 and PBKDF2; the digest on its own is here so that the published SHA-1 vectors
// check each backend's hash apart from its HMAC.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zipcrypto {

/// Digest size of SHA-1 in bytes.
inline constexpr size_t kSha1DigestSize = 20;

/// Writes the SHA-1 digest of `length` bytes at `data` to `digest` (20 bytes). False when
/// the library fails.
bool Sha1Digest(const uint8_t* data, size_t length, uint8_t* digest);

}  // namespace zipcrypto
