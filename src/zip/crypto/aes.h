// AES (FIPS-197) in the encryption direction, and the counter mode of zip's AES format.
// The block cipher is the system's cryptographic library (libcrypto on Linux, CNG on
// Windows; the build picks one file of the two); the counter mode is ours, because zip's
// counter is little-endian and the libraries count big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zipcrypto {

/// An AES key in the library; encrypts 16-byte blocks (ECB, no padding).
class CAes {
public:
    /// Block size in bytes.
    static constexpr size_t kBlockSize = 16;
    /// Most blocks one EncryptBlocks call takes (1 GB: within the libraries' int and ULONG
    /// lengths).
    static constexpr size_t kMaxBlocks = size_t{1} << 26;

    CAes();
    ~CAes();
    CAes(const CAes&) = delete;
    CAes& operator=(const CAes&) = delete;

    /// Keys the cipher with 16, 24 or 32 bytes (AES-128, -192, -256). False for any other
    /// length or when the library refuses; the cipher then has no key.
    bool SetKey(const uint8_t* key, size_t length);
    /// Encrypts `count` consecutive blocks from `in` to `out` (which may be the same) in one
    /// library call. False without a key, for more than kMaxBlocks, or when the library
    /// fails.
    bool EncryptBlocks(const uint8_t* in, uint8_t* out, size_t count);

private:
    struct State;                    // the library's key, defined by the backend
    std::unique_ptr<State> m_state;  // never null
};

/// AES in the counter mode of zip's AES format: a 16-byte counter block whose first
/// 8 bytes are a little-endian counter, incremented before each block of key stream (so
/// the first block uses 1); the key stream is the encryption of the counter block. The
/// same operation encrypts and decrypts. Counter blocks are encrypted in batches, one
/// library call each.
class CAesCounterMode {
public:
    /// Keys the cipher (16, 24 or 32 bytes; false otherwise) and restarts the counter.
    bool SetKey(const uint8_t* key, size_t length);
    /// Restarts the key stream at counter 1 with the same key.
    void Restart();
    /// XORs the next `length` bytes of key stream onto `data`. False when the library
    /// fails; the data is then not all processed.
    bool Process(uint8_t* data, size_t length);

private:
    // Key stream made per library call: 4 KB, which stays in the first-level cache with the
    // data it is XORed onto.
    static constexpr size_t kBatchBlocks = 256;

    CAes m_aes;
    uint64_t m_counter = 0;                                              // last counter used
    alignas(16) uint8_t m_stream[kBatchBlocks * CAes::kBlockSize] = {};  // key stream made
    size_t m_filled = 0;                                                 // bytes of it made
    size_t m_used = 0;                                                   // bytes of it used
};

}  // namespace zipcrypto
