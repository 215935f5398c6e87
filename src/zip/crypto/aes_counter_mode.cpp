// Zip's AES counter mode over the library's block cipher: the counter blocks of a batch
// are written out, encrypted in one call (ECB), and the result XORed onto the data. The
// libraries' own counter modes cannot serve: they count big-endian in the block's last
// bytes, zip counts little-endian in its first eight.
#include <algorithm>
#include <bit>
#include <cstring>

#include "zip/crypto/aes.h"

namespace zipcrypto {

namespace {

// Writes counter blocks first, first + 1, ... into `blocks`: the counter little-endian in the
// first eight bytes, zeros in the last eight.
void WriteCounterBlocks(uint8_t* blocks, size_t count, uint64_t first) {
    const uint64_t zero = 0;
    for (size_t b = 0; b < count; ++b, blocks += CAes::kBlockSize) {
        uint64_t counter = first + b;
        if constexpr (std::endian::native != std::endian::little) {
            counter = __builtin_bswap64(counter);
        }
        std::memcpy(blocks, &counter, 8);
        std::memcpy(blocks + 8, &zero, 8);
    }
}

// XORs `length` bytes of `stream` onto `data`, sixteen at a time where it can.
void XorInto(uint8_t* __restrict data, const uint8_t* __restrict stream, size_t length) {
    size_t i = 0;
    for (; i + 16 <= length; i += 16) {
        uint64_t a[2];
        uint64_t b[2];
        std::memcpy(a, data + i, 16);
        std::memcpy(b, stream + i, 16);
        a[0] ^= b[0];
        a[1] ^= b[1];
        std::memcpy(data + i, a, 16);
    }
    for (; i < length; ++i) {
        data[i] ^= stream[i];
    }
}

}  // namespace

bool CAesCounterMode::SetKey(const uint8_t* key, size_t length) {
    Restart();
    return m_aes.SetKey(key, length);
}

void CAesCounterMode::Restart() {
    m_counter = 0;
    m_filled = 0;
    m_used = 0;
}

bool CAesCounterMode::Process(uint8_t* data, size_t length) {
    while (length != 0) {
        if (m_used == m_filled) {
            // Only as many blocks as the data still needs: a short call does not pay for
            // a whole batch.
            size_t blocks =
                std::min(kBatchBlocks, (length + CAes::kBlockSize - 1) / CAes::kBlockSize);
            WriteCounterBlocks(m_stream, blocks, m_counter + 1);
            m_counter += blocks;
            if (!m_aes.EncryptBlocks(m_stream, m_stream, blocks)) {
                m_filled = 0;
                m_used = 0;
                return false;
            }
            m_filled = blocks * CAes::kBlockSize;
            m_used = 0;
        }
        size_t take = std::min(length, m_filled - m_used);
        XorInto(data, m_stream + m_used, take);
        m_used += take;
        data += take;
        length -= take;
    }
    return true;
}

}  // namespace zipcrypto
