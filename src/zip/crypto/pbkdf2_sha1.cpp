// PBKDF2 with HMAC-SHA1: T_i = U_1 xor ... xor U_c, U_1 = HMAC(P, S || INT(i)),
// U_j = HMAC(P, U_{j-1}); the key's padded states are computed once for all rounds.
#include "zip/crypto/pbkdf2_sha1.h"

#include "zip/crypto/hmac_sha1.h"

namespace zipcrypto {

void Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength) {
    CHmacSha1 hmac;
    hmac.SetKey(password, passwordLength);
    if (iterations == 0) {
        iterations = 1;
    }
    for (uint32_t blockIndex = 1; outLength != 0; ++blockIndex) {
        uint8_t index[4] = {
            static_cast<uint8_t>(blockIndex >> 24), static_cast<uint8_t>(blockIndex >> 16),
            static_cast<uint8_t>(blockIndex >> 8), static_cast<uint8_t>(blockIndex)};
        uint8_t u[CHmacSha1::kDigestSize];
        uint8_t t[CHmacSha1::kDigestSize];
        hmac.Restart();
        hmac.Update(salt, saltLength);
        hmac.Update(index, sizeof index);
        hmac.Final(u);
        for (size_t i = 0; i < sizeof t; ++i) {
            t[i] = u[i];
        }
        for (uint32_t round = 1; round < iterations; ++round) {
            hmac.Update(u, sizeof u);
            hmac.Final(u);
            for (size_t i = 0; i < sizeof t; ++i) {
                t[i] ^= u[i];
            }
        }
        size_t take = outLength < sizeof t ? outLength : sizeof t;
        for (size_t i = 0; i < take; ++i) {
            out[i] = t[i];
        }
        out += take;
        outLength -= take;
    }
}

}  // namespace zipcrypto
