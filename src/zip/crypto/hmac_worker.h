// HMAC-SHA1 on a thread of its own. The authentication code of an AES entry covers the
// same bytes that are decrypted, and SHA-1 is the slower of the two by far (one stream
// cannot be hashed in parallel); hashed beside the decryption, reading and the rest of the
// entry's road, it no longer adds to their time.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "zip/byte_buffer.h"
#include "zip/crypto/hmac_sha1.h"

namespace zipcrypto {

/// CHmacSha1 with the same contract, whose Update copies the bytes into a queue for a
/// worker thread and returns at once (it waits only while the queue is full). SetKey and
/// Final wait until the queued bytes are hashed. One thread calls the object; the worker is
/// started by the constructor (a new thread takes up to a millisecond or two to run, time
/// the caller spends deriving the key) and ended by the destructor. Where no thread can be
/// started, the bytes are hashed at once instead.
class CHmacSha1Worker {
public:
    /// Output size in bytes.
    static constexpr size_t kDigestSize = CHmacSha1::kDigestSize;

    CHmacSha1Worker();
    ~CHmacSha1Worker();
    CHmacSha1Worker(const CHmacSha1Worker&) = delete;
    CHmacSha1Worker& operator=(const CHmacSha1Worker&) = delete;

    /// Sets the key and starts a message; bytes still queued for the previous one (an entry
    /// left unfinished) are hashed into it first and count no more. False when the library
    /// fails.
    bool SetKey(const uint8_t* key, size_t length);
    /// Queues message bytes. False without a key or when the library has failed on bytes
    /// queued earlier.
    bool Update(const uint8_t* data, size_t length);
    /// Writes the 20-byte code of the message to `mac` and starts a new message with the
    /// same key. False when the library failed on any of the message's bytes.
    bool Final(uint8_t* mac);

private:
    // The queue: a ring of slots of 1 MB. The caller fills one slot and hands it over when
    // it is full (or at SetKey and Final), so that the two threads meet a few hundred
    // times per 200 MB rather than at every one of the decoders' 128 KB pieces.
    static constexpr size_t kSlots = 4;
    static constexpr size_t kSlotBytes = 1 << 20;
    // A slot is handed over before it is full when the worker has nothing else to hash (at
    // the start of an entry), once it holds this much.
    static constexpr size_t kEarlyBytes = 64 << 10;

    void Run();
    void HandOver();  // queues the slot being filled
    bool IsIdle();    // nothing queued
    void WaitUntilIdle(std::unique_lock<std::mutex>& lock);

    CHmacSha1 m_hmac;  // the worker's between SetKey or Final and the next idle wait
    std::mutex m_mutex;
    std::condition_variable m_changed;     // the queue or m_stop changed
    zipcodec::CReusableBytes m_ring;       // the slots, one after the other
    size_t m_lengths[kSlots] = {};         // bytes queued in each slot
    size_t m_head = 0;                     // slot the worker hashes next
    size_t m_queued = 0;                   // slots queued, from m_head on
    size_t m_filling = 0;                  // slot the caller fills (m_head + m_queued)
    size_t m_filled = 0;                   // bytes in it; 0: the caller holds no slot
    bool m_failed = false;                 // the library failed on a queued slot
    bool m_keyed = false;                  // SetKey succeeded
    bool m_stop = false;                   // the destructor asks the worker to end
    bool m_inline = false;                 // no thread could be started: hash at once
    std::thread m_thread;                  // the worker, unless m_inline
};

}  // namespace zipcrypto
