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

    /// True when the processor has AES instructions (the hardware path can be used).
    static bool HardwareAvailable();

    /// Expands a key of 16, 24 or 32 bytes (AES-128, -192, -256); false for any other
    /// length (the key is then unusable). Picks the hardware path when available.
    bool SetKey(const uint8_t* key, size_t length);
    /// Chooses the portable code (false) or the processor's instructions (true); asking
    /// for the instructions without HardwareAvailable() leaves the portable code.
    void UseHardware(bool hardware) { m_hardware = hardware && HardwareAvailable(); }
    /// True when the blocks are encrypted with the processor's instructions.
    bool UsesHardware() const { return m_hardware; }
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
    bool m_hardware = false;
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
