// PBKDF2 (RFC 8018) with HMAC-SHA1: zip's AES format derives the entry's AES key, its
// HMAC key and the password verifier from the password and the entry's salt. From the
// system's cryptographic library (libcrypto on Linux, CNG on Windows).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zipcrypto {

/// Derives `outLength` bytes into `out` from `password` and `salt` with `iterations`
/// rounds (at least 1). False when the library fails or refuses the arguments.
bool Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength);

}  // namespace zipcrypto
