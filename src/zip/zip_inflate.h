// Whole-entry inflate through libdeflate, and the worker thread that inflates the next entry
// while the current one is written. libdeflate decodes a whole stream in one call, several
// times faster than zlib's streaming inflate; the decoder accepts its result only when it is
// certainly what zlib would give, and otherwise runs zlib over the same bytes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "zip/byte_buffer.h"

struct libdeflate_decompressor;

namespace zipcodec {

/// CRC-32 through libdeflate (carry-less multiplication where the processor has it): the
/// same values as zlib's crc32 for the same bytes.
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size);

/// One entry's stream, inflated in one call.
struct CWholeInflate {
    /// The compressed bytes: m_input from m_streamStart on.
    uint8_t* Stream() { return m_input.Data() + m_streamStart; }
    const uint8_t* Stream() const { return m_input.Data() + m_streamStart; }
    size_t StreamSize() const { return m_input.Size() - m_streamStart; }

    CReusableBytes m_input;    // the compressed (and decrypted) bytes, after m_streamStart
    size_t m_streamStart = 0;  // bytes before the stream in m_input (its local header)
    CReusableBytes m_output;   // sized to the entry's uncompressed size before the call
    uint32_t m_crc = 0;        // CRC-32 of m_output, when complete
    bool m_complete = false;   // the stream used exactly m_input and filled exactly m_output

    // Read ahead by the worker: the local header at m_header (m_span bytes from there most
    // likely hold it and the stream), in a file of m_fileLength bytes.
    uint64_t m_header = 0;
    uint64_t m_span = 0;
    uint64_t m_fileLength = 0;
    uint64_t m_data = 0;    // position of the stream's first byte, when loaded
    bool m_loaded = false;  // the worker read the header and the whole stream
};

/// libdeflate's decompressor (one per thread that inflates).
class CWholeInflater {
public:
    CWholeInflater() = default;
    ~CWholeInflater();
    CWholeInflater(const CWholeInflater&) = delete;
    CWholeInflater& operator=(const CWholeInflater&) = delete;

    /// Inflates job.m_input into job.m_output and sets m_complete and m_crc. A stream that is
    /// damaged, longer or shorter than the output, or followed by other bytes leaves
    /// m_complete false (so does a decompressor that cannot be allocated).
    void Run(CWholeInflate& job);

private:
    libdeflate_decompressor* m_decompressor = nullptr;
};

/// Where an entry lies in the archive: a prefetched result is used only for the entry whose
/// local header and data are found at the same places with the same sizes.
struct CStreamKey {
    uint64_t m_position = 0;      // of the local header in the archive file
    uint64_t m_compressed = 0;    // compressed size
    uint64_t m_uncompressed = 0;  // uncompressed size
    bool operator==(const CStreamKey&) const = default;
};

/// An entry to decode ahead, as the central directory describes it.
struct CPrefetchRequest {
    uint64_t m_localOffset = 0;  // of its local header, in the archive
    uint64_t m_span = 0;         // bytes from there that most likely hold header and data
    uint64_t m_compressed = 0;
    uint64_t m_uncompressed = 0;
};

/// Consecutive streams handed to the worker together: one hand-over (two thread wake-ups) for
/// many small entries instead of one per entry. The first m_count slots are in use; the
/// slots after them keep their buffers for later batches.
struct CInflateBatch {
    /// Makes the next slot in use for `key` (growing the slot list when needed) and returns it:
    /// of the slots not in use, the one whose buffers best hold `input` and `output` bytes,
    /// so that large buffers serve large entries again instead of new pages being touched.
    CWholeInflate& Add(const CStreamKey& key, size_t input, size_t output);
    /// The slot in use for `key` at or after slot `from`; null when there is none.
    CWholeInflate* Find(const CStreamKey& key, size_t from, size_t& index);

    std::vector<CStreamKey> m_keys;
    std::vector<CWholeInflate> m_jobs;
    size_t m_count = 0;
};

/// A thread that inflates one submitted batch at a time. The batch is the thread's alone from
/// Submit until Take hands it back, so the two threads never touch the same bytes.
class CInflateWorker {
public:
    /// Reads a job's header and stream on the worker's thread (true when it could): then
    /// the job is inflated.
    using Loader = std::function<bool(CWholeInflate& job, const CStreamKey& key)>;

    explicit CInflateWorker(Loader load) : m_load(std::move(load)) {}
    /// Stops and joins the thread.
    ~CInflateWorker();
    CInflateWorker(const CInflateWorker&) = delete;
    CInflateWorker& operator=(const CInflateWorker&) = delete;

    /// Hands `batch` to the thread (swapped with the worker's own, whose buffers `batch` gets
    /// back); a batch submitted earlier and not taken is finished and dropped first.
    void Submit(CInflateBatch& batch);
    /// When the submitted batch holds the stream of `key`, waits for the whole batch and
    /// swaps it into `batch`. False (and `batch` untouched) otherwise.
    bool Take(const CStreamKey& key, CInflateBatch& batch);
    /// True from Submit until Take.
    bool IsBusy();

private:
    void Loop();
    void WaitUntilIdle(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;       // started by the first Submit
    CInflateBatch m_batch;      // the thread's while m_pending and not m_done
    bool m_pending = false;     // a batch was submitted and not taken
    bool m_done = false;        // the thread has finished m_batch
    bool m_stop = false;        // the thread ends
    CWholeInflater m_inflater;  // used by the thread only
    Loader m_load;              // called by the thread only
};

}  // namespace zipcodec
