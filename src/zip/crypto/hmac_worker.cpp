// The HMAC worker: a ring of slots between the calling thread, which copies the bytes into
// a free slot and hands it over when full, and the worker, which hashes the slots in
// order. The mutex guards the ring's counters only; a slot's bytes belong to the caller
// until it is queued and to the worker until it is hashed, so they are copied and hashed
// without the lock.
#include "zip/crypto/hmac_worker.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace zipcrypto {

CHmacSha1Worker::CHmacSha1Worker() {
    try {
        m_thread = std::thread(&CHmacSha1Worker::Run, this);
    } catch (const std::system_error&) {
        m_inline = true;
    }
}

CHmacSha1Worker::~CHmacSha1Worker() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CHmacSha1Worker::WaitUntilIdle(std::unique_lock<std::mutex>& lock) {
    m_changed.wait(lock, [this] { return m_queued == 0; });
}

bool CHmacSha1Worker::IsIdle() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queued == 0;
}

void CHmacSha1Worker::HandOver() {
    if (m_filled == 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lengths[m_filling] = m_filled;
        ++m_queued;
    }
    m_filled = 0;
    m_changed.notify_all();
}

bool CHmacSha1Worker::SetKey(const uint8_t* key, size_t length) {
    HandOver();
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitUntilIdle(lock);
    m_failed = false;
    m_keyed = m_hmac.SetKey(key, length);
    return m_keyed;
}

bool CHmacSha1Worker::Update(const uint8_t* data, size_t length) {
    if (!m_keyed) {
        return false;
    }
    if (m_inline) {
        m_failed |= !m_hmac.Update(data, length);
        return !m_failed;
    }
    while (length != 0) {
        if (m_filled == 0) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_queued < kSlots; });
            if (m_failed) {
                return false;
            }
            m_filling = (m_head + m_queued) % kSlots;
        }
        m_ring.Resize(kSlots * kSlotBytes);  // once: then kept
        size_t take = std::min(length, kSlotBytes - m_filled);
        std::memcpy(m_ring.Data() + m_filling * kSlotBytes + m_filled, data, take);
        m_filled += take;
        data += take;
        length -= take;
        if (m_filled == kSlotBytes || (m_filled >= kEarlyBytes && IsIdle())) {
            HandOver();  // full, or the worker would wait for it
        }
    }
    return true;
}

bool CHmacSha1Worker::Final(uint8_t* mac) {
    HandOver();
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitUntilIdle(lock);
    return m_keyed && !m_failed && m_hmac.Final(mac);
}

void CHmacSha1Worker::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_queued != 0 || m_stop; });
        if (m_queued == 0) {
            return;  // stopping, and nothing left to hash
        }
        const uint8_t* bytes = m_ring.Data() + m_head * kSlotBytes;
        size_t length = m_lengths[m_head];
        lock.unlock();
        bool hashed = m_hmac.Update(bytes, length);
        lock.lock();
        m_failed |= !hashed;
        m_head = (m_head + 1) % kSlots;
        --m_queued;
        m_changed.notify_all();
    }
}

}  // namespace zipcrypto
