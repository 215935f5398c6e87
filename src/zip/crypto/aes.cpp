// AES encryption: the key schedule and the portable rounds (tables built at compile time
// from the field arithmetic, so no table is typed in by hand), and the rounds on the
// processor's AES instructions for x86 processors that have them.
#include "zip/crypto/aes.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define MIVO_AES_X86 1
#endif

namespace zipcrypto {

namespace {

constexpr uint8_t Xtime(uint8_t value) {
    return static_cast<uint8_t>((value << 1) ^ ((value & 0x80) != 0 ? 0x1B : 0));
}

constexpr uint8_t Multiply(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b != 0) {
        if ((b & 1) != 0) {
            product ^= a;
        }
        a = Xtime(a);
        b >>= 1;
    }
    return product;
}

constexpr uint8_t Rotl8(uint8_t value, int shift) {
    return static_cast<uint8_t>((value << shift) | (value >> (8 - shift)));
}

// The S-box: the multiplicative inverse in GF(2^8) followed by the affine transformation.
// p runs through every non-zero element as the powers of 3 while q runs through the powers
// of 3's inverse, so q is p's inverse at each step (a few hundred steps, well inside the
// compilers' limits for constant evaluation).
constexpr std::array<uint8_t, 256> MakeSbox() {
    std::array<uint8_t, 256> box{};
    box[0] = 0x63;  // 0 has no inverse and maps to the constant alone
    uint8_t p = 1;
    uint8_t q = 1;
    do {
        p = static_cast<uint8_t>(p ^ Xtime(p));  // p * 3
        q = static_cast<uint8_t>(q ^ (q << 1));  // q / 3
        q = static_cast<uint8_t>(q ^ (q << 2));
        q = static_cast<uint8_t>(q ^ (q << 4));
        if ((q & 0x80) != 0) {
            q = static_cast<uint8_t>(q ^ 0x09);
        }
        box[p] =
            static_cast<uint8_t>(q ^ Rotl8(q, 1) ^ Rotl8(q, 2) ^ Rotl8(q, 3) ^ Rotl8(q, 4) ^ 0x63);
    } while (p != 1);
    return box;
}

constexpr std::array<uint8_t, 256> kSbox = MakeSbox();

constexpr uint32_t Rotr32(uint32_t value, int shift) {
    return (value >> shift) | (value << (32 - shift));
}

// Te[n][x]: SubBytes and MixColumns of one byte in row n, as a big-endian column word.
constexpr std::array<std::array<uint32_t, 256>, 4> MakeTables() {
    std::array<std::array<uint32_t, 256>, 4> tables{};
    for (int x = 0; x < 256; ++x) {
        uint8_t s = kSbox[x];
        uint32_t word = (static_cast<uint32_t>(Xtime(s)) << 24) | (static_cast<uint32_t>(s) << 16) |
                        (static_cast<uint32_t>(s) << 8) | Multiply(s, 3);
        for (int n = 0; n < 4; ++n) {
            tables[n][x] = n == 0 ? word : Rotr32(word, 8 * n);
        }
    }
    return tables;
}

constexpr auto kTe = MakeTables();

uint32_t LoadBe32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

void StoreBe32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

uint32_t SubWord(uint32_t word) {
    return (static_cast<uint32_t>(kSbox[word >> 24]) << 24) |
           (static_cast<uint32_t>(kSbox[(word >> 16) & 0xFF]) << 16) |
           (static_cast<uint32_t>(kSbox[(word >> 8) & 0xFF]) << 8) | kSbox[word & 0xFF];
}

// The portable rounds. The table look-ups depend on the data, so their timing is not
// constant; the hardware path has no such leak and is taken wherever it exists.
void EncryptBlockPortable(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
    uint32_t s0 = LoadBe32(in) ^ rk[0];
    uint32_t s1 = LoadBe32(in + 4) ^ rk[1];
    uint32_t s2 = LoadBe32(in + 8) ^ rk[2];
    uint32_t s3 = LoadBe32(in + 12) ^ rk[3];
    for (int round = 1; round < rounds; ++round) {
        rk += 4;
        uint32_t t0 = kTe[0][s0 >> 24] ^ kTe[1][(s1 >> 16) & 0xFF] ^ kTe[2][(s2 >> 8) & 0xFF] ^
                      kTe[3][s3 & 0xFF] ^ rk[0];
        uint32_t t1 = kTe[0][s1 >> 24] ^ kTe[1][(s2 >> 16) & 0xFF] ^ kTe[2][(s3 >> 8) & 0xFF] ^
                      kTe[3][s0 & 0xFF] ^ rk[1];
        uint32_t t2 = kTe[0][s2 >> 24] ^ kTe[1][(s3 >> 16) & 0xFF] ^ kTe[2][(s0 >> 8) & 0xFF] ^
                      kTe[3][s1 & 0xFF] ^ rk[2];
        uint32_t t3 = kTe[0][s3 >> 24] ^ kTe[1][(s0 >> 16) & 0xFF] ^ kTe[2][(s1 >> 8) & 0xFF] ^
                      kTe[3][s2 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
        return ((static_cast<uint32_t>(kSbox[a >> 24]) << 24) |
                (static_cast<uint32_t>(kSbox[(b >> 16) & 0xFF]) << 16) |
                (static_cast<uint32_t>(kSbox[(c >> 8) & 0xFF]) << 8) | kSbox[d & 0xFF]) ^
               key;
    };
    StoreBe32(out, last(s0, s1, s2, s3, rk[0]));
    StoreBe32(out + 4, last(s1, s2, s3, s0, rk[1]));
    StoreBe32(out + 8, last(s2, s3, s0, s1, rk[2]));
    StoreBe32(out + 12, last(s3, s0, s1, s2, rk[3]));
}

#ifdef MIVO_AES_X86

__attribute__((target("aes,sse2"))) void EncryptBlocksHardware(const uint8_t* keyBytes, int rounds,
                                                               const uint8_t* in, uint8_t* out,
                                                               size_t count) {
    __m128i keys[15] = {};
    for (int i = 0; i <= rounds; ++i) {
        keys[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(keyBytes + 16 * i));
    }
    for (size_t b = 0; b < count; ++b) {
        __m128i state = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * b));
        state = _mm_xor_si128(state, keys[0]);
        for (int i = 1; i < rounds; ++i) {
            state = _mm_aesenc_si128(state, keys[i]);
        }
        state = _mm_aesenclast_si128(state, keys[rounds]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * b), state);
    }
}

// Counter mode over whole blocks, eight at a time so that the instruction's latency is
// hidden behind independent blocks. The counter block is the 64-bit counter in the low
// half (its little-endian bytes first) and zeros in the high half.
__attribute__((target("aes,sse2"))) void CounterBlocksHardware(const uint8_t* keyBytes, int rounds,
                                                               uint64_t& counter, uint8_t* data,
                                                               size_t blocks) {
    __m128i keys[15] = {};
    for (int i = 0; i <= rounds; ++i) {
        keys[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(keyBytes + 16 * i));
    }
    constexpr size_t kLanes = 8;
    while (blocks >= kLanes) {
        __m128i s[kLanes] = {};
        for (size_t j = 0; j < kLanes; ++j) {
            ++counter;
            s[j] = _mm_xor_si128(_mm_set_epi64x(0, static_cast<long long>(counter)), keys[0]);
        }
        for (int i = 1; i < rounds; ++i) {
            for (size_t j = 0; j < kLanes; ++j) {
                s[j] = _mm_aesenc_si128(s[j], keys[i]);
            }
        }
        for (size_t j = 0; j < kLanes; ++j) {
            s[j] = _mm_aesenclast_si128(s[j], keys[rounds]);
            auto* p = reinterpret_cast<__m128i*>(data + 16 * j);
            _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), s[j]));
        }
        data += 16 * kLanes;
        blocks -= kLanes;
    }
    for (; blocks != 0; --blocks, data += 16) {
        ++counter;
        __m128i s = _mm_xor_si128(_mm_set_epi64x(0, static_cast<long long>(counter)), keys[0]);
        for (int i = 1; i < rounds; ++i) {
            s = _mm_aesenc_si128(s, keys[i]);
        }
        s = _mm_aesenclast_si128(s, keys[rounds]);
        auto* p = reinterpret_cast<__m128i*>(data);
        _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), s));
    }
}

// Counter mode on 256-bit registers: two counter blocks per register, eight registers per
// step, the same layout of the counter block as above.
__attribute__((target("vaes,avx2"))) void CounterBlocksVaes(const uint8_t* keyBytes, int rounds,
                                                            uint64_t& counter, uint8_t* data,
                                                            size_t blocks) {
    __m256i keys[15];
    for (int i = 0; i <= rounds; ++i) {
        keys[i] = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(keyBytes + 16 * i)));
    }
    constexpr size_t kRegisters = 8;
    constexpr size_t kBlocksPerStep = 2 * kRegisters;
    while (blocks >= kBlocksPerStep) {
        __m256i s[kRegisters];
        for (size_t j = 0; j < kRegisters; ++j) {
            uint64_t first = counter + 1 + 2 * j;
            s[j] = _mm256_xor_si256(_mm256_set_epi64x(0, static_cast<long long>(first + 1), 0,
                                                      static_cast<long long>(first)),
                                    keys[0]);
        }
        counter += kBlocksPerStep;
        for (int i = 1; i < rounds; ++i) {
            for (size_t j = 0; j < kRegisters; ++j) {
                s[j] = _mm256_aesenc_epi128(s[j], keys[i]);
            }
        }
        for (size_t j = 0; j < kRegisters; ++j) {
            s[j] = _mm256_aesenclast_epi128(s[j], keys[rounds]);
            auto* p = reinterpret_cast<__m256i*>(data + 32 * j);
            _mm256_storeu_si256(p, _mm256_xor_si256(_mm256_loadu_si256(p), s[j]));
        }
        data += 16 * kBlocksPerStep;
        blocks -= kBlocksPerStep;
    }
    CounterBlocksHardware(keyBytes, rounds, counter, data, blocks);
}

#endif

void CounterBlock(uint64_t counter, uint8_t* block) {
    for (int i = 0; i < 8; ++i) {
        block[i] = static_cast<uint8_t>(counter >> (8 * i));
    }
    std::memset(block + 8, 0, 8);
}

}  // namespace

bool CAes::PathAvailable(Path path) {
#ifdef MIVO_AES_X86
    static const bool aesNi = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
    // The compilers do not all know VAES as a feature name: CPUID leaf 7, ECX bit 9. The
    // AVX2 test also covers the operating system's saving of the 256-bit registers.
    static const bool vaes = aesNi && __builtin_cpu_supports("avx2") && [] {
        unsigned eax = 0;
        unsigned ebx = 0;
        unsigned ecx = 0;
        unsigned edx = 0;
        return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0 && (ecx & (1u << 9)) != 0;
    }();
    switch (path) {
        case Path::kPortable:
            return true;
        case Path::kAesNi:
            return aesNi;
        case Path::kVaes:
            return vaes;
    }
    return false;
#else
    return path == Path::kPortable;
#endif
}

CAes::Path CAes::BestPath() {
    static const Path best = PathAvailable(Path::kVaes)    ? Path::kVaes
                             : PathAvailable(Path::kAesNi) ? Path::kAesNi
                                                           : Path::kPortable;
    return best;
}

bool CAes::UsePath(Path path) {
    if (!PathAvailable(path)) {
        return false;
    }
    m_path = path;
    return true;
}

bool CAes::SetKey(const uint8_t* key, size_t length) {
    m_rounds = 0;
    if (length != 16 && length != 24 && length != 32) {
        return false;
    }
    const int nk = static_cast<int>(length / 4);
    const int rounds = nk + 6;
    const int words = 4 * (rounds + 1);
    for (int i = 0; i < nk; ++i) {
        m_words[i] = LoadBe32(key + 4 * i);
    }
    uint32_t rcon = 0x01;
    for (int i = nk; i < words; ++i) {
        uint32_t temp = m_words[i - 1];
        if (i % nk == 0) {
            temp = SubWord(Rotr32(temp, 24)) ^ (rcon << 24);
            rcon = Xtime(static_cast<uint8_t>(rcon));
        } else if (nk > 6 && i % nk == 4) {
            temp = SubWord(temp);
        }
        m_words[i] = m_words[i - nk] ^ temp;
    }
    for (int i = 0; i < words; ++i) {
        StoreBe32(m_keyBytes + 4 * i, m_words[i]);
    }
    m_rounds = rounds;
    m_path = BestPath();
    return true;
}

void CAes::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const {
#ifdef MIVO_AES_X86
    if (m_path != Path::kPortable) {
        EncryptBlocksHardware(m_keyBytes, m_rounds, in, out, count);
        return;
    }
#endif
    for (size_t b = 0; b < count; ++b) {
        EncryptBlockPortable(m_words, m_rounds, in + 16 * b, out + 16 * b);
    }
}

bool CAesCounterMode::SetKey(const uint8_t* key, size_t length) {
    Restart();
    return m_aes.SetKey(key, length);
}

void CAesCounterMode::Restart() {
    m_counter = 0;
    m_used = CAes::kBlockSize;
}

void CAesCounterMode::IncrementCounter() {
    ++m_counter;  // carries over the 8 bytes; the counter of an entry never wraps
    uint8_t block[CAes::kBlockSize];
    CounterBlock(m_counter, block);
    m_aes.EncryptBlocks(block, m_stream, 1);
    m_used = 0;
}

void CAesCounterMode::Process(uint8_t* data, size_t length) {
    // The rest of the key stream block begun by the previous call.
    while (length != 0 && m_used < CAes::kBlockSize) {
        *data++ ^= m_stream[m_used++];
        --length;
    }
    size_t blocks = length / CAes::kBlockSize;
    if (blocks != 0) {
#ifdef MIVO_AES_X86
        if (m_aes.CurrentPath() != CAes::Path::kPortable) {
            if (m_aes.CurrentPath() == CAes::Path::kVaes) {
                CounterBlocksVaes(m_aes.RoundKeyBytes(), m_aes.Rounds(), m_counter, data, blocks);
            } else {
                CounterBlocksHardware(m_aes.RoundKeyBytes(), m_aes.Rounds(), m_counter, data,
                                      blocks);
            }
            data += blocks * CAes::kBlockSize;
            length -= blocks * CAes::kBlockSize;
            blocks = 0;
        }
#endif
        // Portable: key stream for a batch of counter blocks, then one XOR pass.
        constexpr size_t kBatch = 64;
        alignas(16) uint8_t stream[kBatch * CAes::kBlockSize];
        while (blocks != 0) {
            size_t batch = blocks < kBatch ? blocks : kBatch;
            for (size_t b = 0; b < batch; ++b) {
                CounterBlock(++m_counter, stream + 16 * b);
            }
            m_aes.EncryptBlocks(stream, stream, batch);
            for (size_t i = 0; i < batch * CAes::kBlockSize; ++i) {
                data[i] ^= stream[i];
            }
            data += batch * CAes::kBlockSize;
            length -= batch * CAes::kBlockSize;
            blocks -= batch;
        }
    }
    if (length != 0) {
        IncrementCounter();
        while (length != 0) {
            *data++ ^= m_stream[m_used++];
            --length;
        }
    }
}

}  // namespace zipcrypto
