// Whole-entry inflate through libdeflate and the worker thread of the reader.
#include "zip/zip_inflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <climits>
#include <new>
#include <utility>

namespace zipcodec {

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
    return libdeflate_crc32(crc, data, size);
}

void CReusableBytes::Resize(size_t size) {
    if (size > m_capacity) {
        m_data.reset();
        m_capacity = 0;
        m_data = std::make_unique_for_overwrite<uint8_t[]>(size);
        m_capacity = size;
    }
    m_size = size;
}

CWholeInflater::~CWholeInflater() {
    if (m_decompressor != nullptr) {
        libdeflate_free_decompressor(m_decompressor);
    }
}

void CWholeInflater::Run(CWholeInflate& job) {
    job.m_complete = false;
    job.m_crc = 0;
    if (m_decompressor == nullptr) {
        m_decompressor = libdeflate_alloc_decompressor();
        if (m_decompressor == nullptr) {
            return;
        }
    }
    size_t usedIn = 0;
    size_t producedOut = 0;
    // A null pointer with a zero size is what libdeflate expects of an empty buffer too.
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        m_decompressor, job.m_input.Data(), job.m_input.Size(), job.m_output.Data(),
        job.m_output.Size(), &usedIn, &producedOut);
    if (result != LIBDEFLATE_SUCCESS || usedIn != job.m_input.Size() ||
        producedOut != job.m_output.Size()) {
        return;
    }
    job.m_crc = Crc32(0, job.m_output.Data(), job.m_output.Size());
    job.m_complete = true;
}

CInflateWorker::~CInflateWorker() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CInflateWorker::WaitUntilIdle(std::unique_lock<std::mutex>& lock) {
    m_changed.wait(lock, [this] { return !m_pending || m_done; });
}

void CInflateWorker::Submit(const CStreamKey& key, CWholeInflate& job) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        WaitUntilIdle(lock);
        std::swap(m_job, job);
        m_key = key;
        m_pending = true;
        m_done = false;
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { Loop(); });
        }
    }
    m_changed.notify_all();
}

bool CInflateWorker::Take(const CStreamKey& key, CWholeInflate& job) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_pending || !(m_key == key)) {
        return false;
    }
    WaitUntilIdle(lock);
    std::swap(m_job, job);
    m_pending = false;
    m_done = false;
    return true;
}

void CInflateWorker::Loop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || (m_pending && !m_done); });
        if (m_stop) {
            return;
        }
        // From here until m_done is set, m_job is this thread's alone: Submit and Take wait.
        lock.unlock();
        m_inflater.Run(m_job);
        lock.lock();
        m_done = true;
        m_changed.notify_all();
    }
}

}  // namespace zipcodec
