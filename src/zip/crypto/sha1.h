// SHA-1 (FIPS 180-4), the hash under zip's AES format: its HMAC authenticates the entry
// data and its PBKDF2 derives the keys from the password. The blocks are hashed with the
// processor's SHA instructions when it has them, chosen at run time, else portably.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zipcrypto {

/// A running SHA-1 hash. Copyable, so that a state after a common prefix can be reused.
class CSha1 {
public:
    /// Digest size in bytes.
    static constexpr size_t kDigestSize = 20;
    /// Block size in bytes.
    static constexpr size_t kBlockSize = 64;

    /// True when the processor has the SHA instructions.
    static bool HardwareAvailable();
    /// Chooses, for the whole process, the portable code (false) or the SHA instructions
    /// (true, only when available). Meant for tests and benchmarks; not thread-safe.
    static void UseHardware(bool hardware);
    /// True when blocks are hashed with the SHA instructions.
    static bool UsesHardware();

    CSha1() { Reset(); }
    /// Starts a new hash.
    void Reset();
    /// Adds `length` bytes.
    void Update(const uint8_t* data, size_t length);
    /// Writes the digest of everything added to `digest` (20 bytes); the object must be
    /// Reset before it is used again.
    void Final(uint8_t* digest);

private:
    uint32_t m_state[5];                // chaining value
    uint64_t m_length = 0;              // bytes added so far
    uint8_t m_buffer[kBlockSize] = {};  // a block not yet complete
    size_t m_buffered = 0;              // bytes in m_buffer
};

}  // namespace zipcrypto
