// SHA-1: the compression function over whole blocks and the padding of the last block.
#include "zip/crypto/sha1.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define MIVO_SHA_X86 1
#endif

namespace zipcrypto {

namespace {

constexpr uint32_t Rotl(uint32_t value, int shift) {
    return (value << shift) | (value >> (32 - shift));
}

void CompressPortable(uint32_t* state, const uint8_t* data, size_t blocks) {
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

#ifdef MIVO_SHA_X86

// Four rounds with the SHA instructions; the round function and constant are an immediate.
#define MIVO_SHA1_RNDS4(abcd, e, group)               \
    ((group) < 5    ? _mm_sha1rnds4_epu32(abcd, e, 0) \
     : (group) < 10 ? _mm_sha1rnds4_epu32(abcd, e, 1) \
     : (group) < 15 ? _mm_sha1rnds4_epu32(abcd, e, 2) \
                    : _mm_sha1rnds4_epu32(abcd, e, 3))

// The 80 rounds as 20 groups of four. Group g takes its schedule words from msg[g % 4],
// which the message instructions extend in place: sha1msg1 for the words of group g + 3,
// the XOR for those of g + 2, sha1msg2 for those of g + 1. The E values alternate between
// two registers, each holding A of four rounds before.
__attribute__((target("sha,sse4.1"))) void CompressHardware(uint32_t* state, const uint8_t* data,
                                                            size_t blocks) {
    const __m128i mask = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
    __m128i abcd =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; blocks != 0; --blocks, data += CSha1::kBlockSize) {
        const __m128i abcdSaved = abcd;
        const __m128i eSaved = e0;
        __m128i msg[4] = {};
        __m128i e[2] = {e0, e0};
#pragma GCC unroll 20
        for (int g = 0; g < 20; ++g) {
            __m128i& current = e[g & 1];
            if (g < 4) {
                msg[g] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), mask);
            }
            current =
                g == 0 ? _mm_add_epi32(current, msg[0]) : _mm_sha1nexte_epu32(current, msg[g & 3]);
            e[(g + 1) & 1] = abcd;
            if (g >= 3 && g <= 18) {
                msg[(g + 1) & 3] = _mm_sha1msg2_epu32(msg[(g + 1) & 3], msg[g & 3]);
            }
            abcd = MIVO_SHA1_RNDS4(abcd, current, g);
            if (g >= 1 && g <= 16) {
                msg[(g - 1) & 3] = _mm_sha1msg1_epu32(msg[(g - 1) & 3], msg[g & 3]);
            }
            if (g >= 2 && g <= 17) {
                msg[(g - 2) & 3] = _mm_xor_si128(msg[(g - 2) & 3], msg[g & 3]);
            }
        }
        // After group 19, e[0] holds A of four rounds before: E of the block's result.
        e0 = _mm_sha1nexte_epu32(e[0], eSaved);
        abcd = _mm_add_epi32(abcd, abcdSaved);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

#undef MIVO_SHA1_RNDS4

bool HasShaInstructions() {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    return (ebx & (1u << 29)) != 0 && __builtin_cpu_supports("sse4.1") &&
           __builtin_cpu_supports("ssse3");
}

#endif

bool g_useHardware = CSha1::HardwareAvailable();

void Compress(uint32_t* state, const uint8_t* data, size_t blocks) {
#ifdef MIVO_SHA_X86
    if (g_useHardware) {
        CompressHardware(state, data, blocks);
        return;
    }
#endif
    CompressPortable(state, data, blocks);
}

}  // namespace

bool CSha1::HardwareAvailable() {
#ifdef MIVO_SHA_X86
    static const bool available = HasShaInstructions();
    return available;
#else
    return false;
#endif
}

void CSha1::UseHardware(bool hardware) {
    g_useHardware = hardware && HardwareAvailable();
}

bool CSha1::UsesHardware() {
    return g_useHardware;
}

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
