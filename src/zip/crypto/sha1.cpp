// SHA-1: the compression function over whole blocks and the padding of the last block.
#include "zip/crypto/sha1.h"

#include <cstring>

namespace zipcrypto {

namespace {

constexpr uint32_t Rotl(uint32_t value, int shift) {
    return (value << shift) | (value >> (32 - shift));
}

void Compress(uint32_t* state, const uint8_t* data, size_t blocks) {
    for (; blocks != 0; --blocks, data += CSha1::kBlockSize) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            w[i] = (static_cast<uint32_t>(data[4 * i]) << 24) |
                   (static_cast<uint32_t>(data[4 * i + 1]) << 16) |
                   (static_cast<uint32_t>(data[4 * i + 2]) << 8) | data[4 * i + 3];
        }
        for (int i = 16; i < 80; ++i) {
            w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        }
        uint32_t a = state[0];
        uint32_t b = state[1];
        uint32_t c = state[2];
        uint32_t d = state[3];
        uint32_t e = state[4];
        auto step = [&](uint32_t f, uint32_t k, uint32_t word) {
            uint32_t t = Rotl(a, 5) + f + e + k + word;
            e = d;
            d = c;
            c = Rotl(b, 30);
            b = a;
            a = t;
        };
        for (int i = 0; i < 20; ++i) {
            step((b & c) | (~b & d), 0x5A827999, w[i]);
        }
        for (int i = 20; i < 40; ++i) {
            step(b ^ c ^ d, 0x6ED9EBA1, w[i]);
        }
        for (int i = 40; i < 60; ++i) {
            step((b & c) | (b & d) | (c & d), 0x8F1BBCDC, w[i]);
        }
        for (int i = 60; i < 80; ++i) {
            step(b ^ c ^ d, 0xCA62C1D6, w[i]);
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}

}  // namespace

void CSha1::Reset() {
    m_state[0] = 0x67452301;
    m_state[1] = 0xEFCDAB89;
    m_state[2] = 0x98BADCFE;
    m_state[3] = 0x10325476;
    m_state[4] = 0xC3D2E1F0;
    m_length = 0;
    m_buffered = 0;
}

void CSha1::Update(const uint8_t* data, size_t length) {
    m_length += length;
    if (m_buffered != 0) {
        size_t take = kBlockSize - m_buffered < length ? kBlockSize - m_buffered : length;
        std::memcpy(m_buffer + m_buffered, data, take);
        m_buffered += take;
        data += take;
        length -= take;
        if (m_buffered < kBlockSize) {
            return;
        }
        Compress(m_state, m_buffer, 1);
        m_buffered = 0;
    }
    size_t blocks = length / kBlockSize;
    if (blocks != 0) {
        Compress(m_state, data, blocks);
        data += blocks * kBlockSize;
        length -= blocks * kBlockSize;
    }
    if (length != 0) {
        std::memcpy(m_buffer, data, length);
        m_buffered = length;
    }
}

void CSha1::Final(uint8_t* digest) {
    uint64_t bits = m_length * 8;
    uint8_t pad[2 * kBlockSize] = {0x80};
    size_t padLength = (m_buffered < 56 ? 56 : 120) - m_buffered;
    for (int i = 0; i < 8; ++i) {
        pad[padLength + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    }
    Update(pad, padLength + 8);
    for (int i = 0; i < 5; ++i) {
        digest[4 * i] = static_cast<uint8_t>(m_state[i] >> 24);
        digest[4 * i + 1] = static_cast<uint8_t>(m_state[i] >> 16);
        digest[4 * i + 2] = static_cast<uint8_t>(m_state[i] >> 8);
        digest[4 * i + 3] = static_cast<uint8_t>(m_state[i]);
    }
}

}  // namespace zipcrypto
