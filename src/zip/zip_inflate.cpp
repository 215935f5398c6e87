// Whole-entry inflate through libdeflate and the worker thread of the reader.
#include "zip/zip_inflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <utility>

namespace zipcodec {

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
    // libdeflate (C) computes with its pointers even for no bytes, where a null one would be
    // undefined; nothing to add is answered here.
    return size == 0 ? crc : libdeflate_crc32(crc, data, size);
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
    // An empty buffer is still given as a real address: libdeflate computes its end, which
    // C leaves undefined for a null pointer.
    uint8_t none = 0;
    const uint8_t* input = job.StreamSize() != 0 ? job.Stream() : &none;
    uint8_t* output = job.m_output.Size() != 0 ? job.m_output.Data() : &none;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        m_decompressor, input, job.StreamSize(), output, job.m_output.Size(), &usedIn,
        &producedOut);
    if (result != LIBDEFLATE_SUCCESS || usedIn != job.StreamSize() ||
        producedOut != job.m_output.Size()) {
        return;
    }
    job.m_crc = Crc32(0, job.m_output.Data(), job.m_output.Size());
    job.m_complete = true;
}

CWholeInflate& CInflateBatch::Add(const CStreamKey& key, size_t input, size_t output) {
    if (m_count == m_jobs.size()) {
        m_jobs.emplace_back();
        m_keys.emplace_back();
    }
    // The smallest spare that holds both, else the largest one.
    size_t best = m_count;
    const auto holds = [&](const CWholeInflate& job) {
        return job.m_input.Capacity() >= input && job.m_output.Capacity() >= output;
    };
    const auto capacity = [](const CWholeInflate& job) {
        return job.m_input.Capacity() + job.m_output.Capacity();
    };
    for (size_t i = m_count + 1; i < m_jobs.size(); ++i) {
        const bool fits = holds(m_jobs[i]);
        const bool bestFits = holds(m_jobs[best]);
        if (fits != bestFits ? fits
                             : (fits ? capacity(m_jobs[i]) < capacity(m_jobs[best])
                                     : capacity(m_jobs[i]) > capacity(m_jobs[best]))) {
            best = i;
        }
    }
    if (best != m_count) {
        std::swap(m_jobs[best], m_jobs[m_count]);
    }
    m_keys[m_count] = key;
    return m_jobs[m_count++];
}

CWholeInflate* CInflateBatch::Find(const CStreamKey& key, size_t from, size_t& index) {
    for (size_t i = from; i < m_count; ++i) {
        if (m_keys[i] == key) {
            index = i;
            return &m_jobs[i];
        }
    }
    return nullptr;
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

void CInflateWorker::Submit(CInflateBatch& batch) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        WaitUntilIdle(lock);
        std::swap(m_batch, batch);
        m_pending = true;
        m_done = false;
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { Loop(); });
        }
    }
    m_changed.notify_all();
}

bool CInflateWorker::Take(const CStreamKey& key, CInflateBatch& batch) {
    std::unique_lock<std::mutex> lock(m_mutex);
    size_t index = 0;
    // The keys are the submitter's and not touched by the thread: safe to look at meanwhile.
    if (!m_pending || m_batch.Find(key, 0, index) == nullptr) {
        return false;
    }
    WaitUntilIdle(lock);
    std::swap(m_batch, batch);
    m_pending = false;
    m_done = false;
    return true;
}

bool CInflateWorker::IsBusy() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending;
}

void CInflateWorker::Loop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || (m_pending && !m_done); });
        if (m_stop) {
            return;
        }
        // From here until m_done is set, m_batch's jobs are this thread's alone: Submit and
        // Take wait.
        lock.unlock();
        for (size_t i = 0; i < m_batch.m_count; ++i) {
            CWholeInflate& job = m_batch.m_jobs[i];
            job.m_complete = false;
            job.m_loaded = m_load(job, m_batch.m_keys[i]);
            if (job.m_loaded) {
                m_inflater.Run(job);
            }
        }
        lock.lock();
        m_done = true;
        m_changed.notify_all();
    }
}

}  // namespace zipcodec
