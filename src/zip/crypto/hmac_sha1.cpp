// HMAC-SHA1: the padded key hashed once into an inner and an outer starting state.
#include "zip/crypto/hmac_sha1.h"

#include <cstring>

namespace zipcrypto {

void CHmacSha1::SetKey(const uint8_t* key, size_t length) {
    uint8_t block[CSha1::kBlockSize] = {};
    if (length > CSha1::kBlockSize) {
        CSha1 hash;
        hash.Update(key, length);
        hash.Final(block);
    } else if (length != 0) {
        std::memcpy(block, key, length);
    }
    uint8_t pad[CSha1::kBlockSize];
    for (size_t i = 0; i < sizeof pad; ++i) {
        pad[i] = block[i] ^ 0x36;
    }
    m_innerStart.Reset();
    m_innerStart.Update(pad, sizeof pad);
    for (size_t i = 0; i < sizeof pad; ++i) {
        pad[i] = block[i] ^ 0x5C;
    }
    m_outerStart.Reset();
    m_outerStart.Update(pad, sizeof pad);
    m_inner = m_innerStart;
}

void CHmacSha1::Final(uint8_t* mac) {
    uint8_t innerDigest[kDigestSize];
    m_inner.Final(innerDigest);
    CSha1 outer = m_outerStart;
    outer.Update(innerDigest, sizeof innerDigest);
    outer.Final(mac);
    m_inner = m_innerStart;
}

}  // namespace zipcrypto
