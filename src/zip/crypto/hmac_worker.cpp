// The HMAC worker: a ring of chunk copies between the calling thread, which fills a free
// slot and moves on, and the worker, which hashes the slots in order. The mutex guards the
// ring's counters only; a slot's bytes belong to the caller until it is queued and to the
// worker until it is hashed, so they are copied and hashed without the lock.
#include "zip/crypto/hmac_worker.h"

#include <system_error>

namespace zipcrypto {

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

bool CHmacSha1Worker::SetKey(const uint8_t* key, size_t length) {
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
    if (length == 0) {
        return true;
    }
    if (!m_inline && !m_thread.joinable()) {
        try {
            m_thread = std::thread(&CHmacSha1Worker::Run, this);
        } catch (const std::system_error&) {
            m_inline = true;
        }
    }
    if (m_inline) {
        m_failed |= !m_hmac.Update(data, length);
        return !m_failed;
    }
    size_t slot;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queued < kSlots; });
        if (m_failed) {
            return false;
        }
        slot = (m_head + m_queued) % kSlots;
    }
    m_slots[slot].assign(data, data + length);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_queued;
    }
    m_changed.notify_all();
    return true;
}

bool CHmacSha1Worker::Final(uint8_t* mac) {
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
        const std::vector<uint8_t>& chunk = m_slots[m_head];
        lock.unlock();
        bool hashed = m_hmac.Update(chunk.data(), chunk.size());
        lock.lock();
        m_failed |= !hashed;
        m_head = (m_head + 1) % kSlots;
        --m_queued;
        m_changed.notify_all();
    }
}

}  // namespace zipcrypto
