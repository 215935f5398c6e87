// AES (FIPS-197) in the encryption direction only, and the counter mode of zip's AES
// format. The rounds run on the processor's AES instructions when it has them, chosen at
// run time; the portable table code is the fallback and stays selectable for tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zipcrypto {

/// An expanded AES key; encrypts 16-byte blocks.
class CAes {
public:
    /// Block size in bytes.
    static constexpr size_t kBlockSize = 16;

    /// The ways of running the rounds.
    enum class Path {
        kPortable,  // table code, any processor
        kAesNi,     // AES instructions on 128-bit registers
        kVaes,      // counter mode on 256-bit registers (VAES with AVX2); single blocks as kAesNi
    };

    /// True when the processor can run `path`.
    static bool PathAvailable(Path path);
    /// The fastest path of this processor.
    static Path BestPath();

    /// Expands a key of 16, 24 or 32 bytes (AES-128, -192, -256); false for any other
    /// length (the key is then unusable). Picks BestPath().
    bool SetKey(const uint8_t* key, size_t length);
    /// Chooses the path (tests and benchmarks); one the processor cannot run leaves the
    /// path as it is and returns false.
    bool UsePath(Path path);
    /// The path in use.
    Path CurrentPath() const { return m_path; }
    /// Number of rounds: 10, 12 or 14; 0 before a valid key.
    int Rounds() const { return m_rounds; }

    /// Encrypts `count` consecutive blocks from `in` to `out` (which may be the same).
    void EncryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const;

    /// The round keys as bytes, (Rounds() + 1) x 16 of them.
    const uint8_t* RoundKeyBytes() const { return m_keyBytes; }

private:
    alignas(16) uint8_t m_keyBytes[15 * 16] = {};  // round keys in the byte order of the state
    uint32_t m_words[15 * 4] = {};                 // the same keys as big-endian words
    int m_rounds = 0;
    Path m_path = Path::kPortable;
};

/// AES in the counter mode of zip's AES format: a 16-byte counter block whose first
/// 8 bytes are a little-endian counter, incremented before each block of key stream (so
/// the first block uses 1); the key stream is the encryption of the counter block. The
/// same operation encrypts and decrypts.
class CAesCounterMode {
public:
    /// Keys the cipher (16, 24 or 32 bytes; false otherwise) and restarts the counter.
    bool SetKey(const uint8_t* key, size_t length);
    /// Restarts the key stream at counter 1 with the same key.
    void Restart();
    /// XORs the next `length` bytes of key stream onto `data`.
    void Process(uint8_t* data, size_t length);
    /// The block cipher, to choose its path in tests.
    CAes& Cipher() { return m_aes; }

private:
    void IncrementCounter();

    CAes m_aes;
    uint64_t m_counter = 0;                               // value of the last counter block used
    alignas(16) uint8_t m_stream[CAes::kBlockSize] = {};  // key stream of that block
    size_t m_used = CAes::kBlockSize;                     // bytes of m_stream already used
};

}  // namespace zipcrypto
