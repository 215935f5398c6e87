// Decompressors of entry data: stored and deflate (zlib's raw inflate) in one class, bzip2
// in another. They read the entry's compressed bytes from the storage in large blocks,
// pass them through the cipher when there is one, and keep the running CRC-32.
#pragma once

#include <bzlib.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/byte_buffer.h"
#include "zip/zip_inflate.h"

class CZipCipher;
class CZipEntry;
class CZipSource;

/// A decompressor, kept by the archive and reused for the next entry of a method it supports.
class CZipDecoder {
public:
    /// Options common to every decoder.
    class COptions {
    public:
        /// Option kinds.
        static constexpr int kTypeDeflate = 8;
        static constexpr int kTypeBzip2 = 12;

        virtual ~COptions() = default;
        /// The kind of options (the method they belong to).
        virtual int GetType() const = 0;
        virtual std::unique_ptr<COptions> Clone() const = 0;

        uint32_t m_bufferSize = 131072;  // input buffer; 0 means the default
        bool m_trackAllocations = true;  // the library's blocks are listed and freed at the end
    };

    explicit CZipDecoder(CZipSource& storage) : m_storage(storage) {}
    virtual ~CZipDecoder() = default;
    CZipDecoder(const CZipDecoder&) = delete;
    CZipDecoder& operator=(const CZipDecoder&) = delete;

    /// True when this decoder processes entries of `method`.
    virtual bool Supports(uint16_t method) const = 0;
    /// Prepares to decode `entry` (its compressed bytes start at the storage's position);
    /// `cipher` (may be null) decrypts what is read. Throws the mapped library code.
    virtual void BeginDecoding(CZipEntry& entry, CZipCipher* cipher);
    /// Produces up to `size` bytes into `buffer`; 0 at the end. Throws 201 for short or
    /// inconsistent data, the mapped library codes for corrupt data.
    virtual size_t DecodeBlock(uint8_t* buffer, size_t size) = 0;
    /// As DecodeBlock, but `data` is set to where the bytes are: `scratch` (of `size` bytes)
    /// or the decoder's own memory, valid until the next call. Saves a copy.
    virtual size_t DecodeView(size_t size, const uint8_t*& data, uint8_t* scratch);
    /// Starts decoding, ahead of time, the streams of later entries (unencrypted deflate data
    /// of a one-file archive, in archive order); BeginDecoding of those entries then takes
    /// the results. Leaves the storage's position as it was. The base does nothing.
    virtual void Prefetch(const std::vector<zipcodec::CPrefetchRequest>& requests);
    /// True while streams handed to Prefetch are still being decoded ahead (not yet taken
    /// back); the base never prefetches.
    virtual bool IsPrefetching() const { return false; }
    /// The bytes read ahead from the local header of `entry` on (header and data), when
    /// there are: its position in the file, and where and how many they are, valid until
    /// the next call other than this one.
    virtual bool ReadAhead(const CZipEntry& entry, uint64_t& position, const uint8_t*& bytes,
                           size_t& size) {
        (void)entry, (void)position, (void)bytes, (void)size;
        return false;
    }
    /// Releases the library state (without the library's own end call after an exception).
    virtual void EndDecoding(bool afterException);
    /// The options (never null).
    virtual const COptions& GetOptions() const = 0;
    /// Replaces the options by a copy of `options` when they are of this decoder's kind.
    virtual void UpdateOptions(const COptions& options) = 0;
    /// The reader's code for a library result.
    virtual int ConvertResult(int result) const = 0;

    /// Bytes of compressed data not yet read from the archive.
    uint64_t CompressedLeft() const { return m_compressedLeft; }
    /// Bytes not yet produced.
    uint64_t UncompressedLeft() const { return m_uncompressedLeft; }
    /// The CRC-32 of the bytes produced so far.
    uint32_t Crc() const { return m_crc; }
    bool IsFinished() const { return m_finished; }

protected:
    /// Reads min(buffer size, compressedLeft) bytes into the input buffer, decrypts them and
    /// counts them off; returns how many.
    size_t FillInput();
    void UpdateCrc(const uint8_t* data, size_t size);
    /// The input buffer's size from the options.
    size_t InputChunkSize() const;

    CZipSource& m_storage;
    CZipEntry* m_entry = nullptr;    // entry being decoded
    CZipCipher* m_cipher = nullptr;  // not owned; null without encryption
    uint64_t m_compressedLeft = 0;
    uint64_t m_uncompressedLeft = 0;
    uint32_t m_crc = 0;
    bool m_finished = false;
    CByteBuffer m_input;  // input buffer, sized from the options
};

namespace zipcodec {

/// A decoder over a C library with its own allocation functions: blocks come from the
/// global array new and, when tracked, are listed so that EndDecoding frees what the
/// library left behind (after an exception the library's end call is skipped).
class CLibraryDecoder : public CZipDecoder {
public:
    using CZipDecoder::CZipDecoder;
    ~CLibraryDecoder() override;
    /// True for the library results that let decoding go on.
    virtual bool IsResultAccepted(int result) const = 0;
    void EndDecoding(bool afterException) override;

protected:
    static void* Allocate(void* opaque, size_t items, size_t size);
    static void Free(void* opaque, void* block);
    void FreeTracked();

    std::vector<uint8_t*> m_blocks;  // blocks handed to the library, when tracked
};

/// Stored (method 0) and deflate (method 8) entries. An unencrypted deflate stream of up to
/// kWholeLimit bytes (either size) in a one-file archive is read into memory and inflated in
/// one call by libdeflate (or taken from the worker that inflated it ahead); that result is
/// used only when it is exactly the entry (all the input, the whole size, the header's
/// CRC-32), and otherwise zlib's raw inflate runs over the same bytes in the same input
/// blocks as from the archive, so that what a damaged entry produces and throws is
/// unchanged. Larger entries stream through zlib.
class CDeflateDecoder : public CLibraryDecoder {
public:
    class COptions : public CZipDecoder::COptions {
    public:
        int GetType() const override { return kTypeDeflate; }
        std::unique_ptr<CZipDecoder::COptions> Clone() const override {
            return std::make_unique<COptions>(*this);
        }
        bool m_checkLastBlock = true;  // a stream must end where the entry's size ends
        bool m_wholeEntries = true;    // small entries inflate in one call (libdeflate)
    };

    /// Largest compressed and uncompressed size decoded in one call.
    static constexpr uint64_t kWholeLimit = 8u << 20;

    explicit CDeflateDecoder(CZipSource& storage) : CLibraryDecoder(storage) {}
    ~CDeflateDecoder() override;

    bool Supports(uint16_t method) const override { return method == 0 || method == 8; }
    void BeginDecoding(CZipEntry& entry, CZipCipher* cipher) override;
    size_t DecodeBlock(uint8_t* buffer, size_t size) override;
    size_t DecodeView(size_t size, const uint8_t*& data, uint8_t* scratch) override;
    void Prefetch(const std::vector<CPrefetchRequest>& requests) override;
    bool IsPrefetching() const override { return m_worker && m_worker->IsBusy(); }
    bool ReadAhead(const CZipEntry& entry, uint64_t& position, const uint8_t*& bytes,
                   size_t& size) override;
    void EndDecoding(bool afterException) override;
    const CZipDecoder::COptions& GetOptions() const override { return m_options; }
    void UpdateOptions(const CZipDecoder::COptions& options) override;
    int ConvertResult(int result) const override;
    bool IsResultAccepted(int result) const override {
        return result == Z_OK || result == Z_NEED_DICT;
    }

private:
    size_t DecodeStored(uint8_t* buffer, size_t size);
    /// Reads (or takes from the worker) and inflates the whole stream; false when the entry
    /// is not one for a whole decode.
    bool LoadWhole(const CZipEntry& entry, const CZipCipher* cipher);
    /// The job decoded ahead for the entry whose local header is at `localOffset` (an
    /// archive offset) with key's sizes, taken back from the worker when it has it; null
    /// when there is none. `index` receives its slot in m_ready.
    CWholeInflate* FindReady(uint64_t localOffset, CStreamKey key, size_t& index);
    /// On the worker's thread: reads the local header and the stream of a job that Prefetch
    /// placed; false when they cannot be read whole (the entry's own turn reads them then).
    bool LoadAhead(CWholeInflate& job, const CStreamKey& key) const;
    /// The next bytes of the whole decode's output; 0 at its end.
    size_t ServeWhole(size_t size, const uint8_t*& data);

    COptions m_options;
    z_stream m_stream{};
    bool m_stored = false;                     // method 0: no library
    bool m_streamOpen = false;                 // inflateInit2 succeeded, inflateEnd not yet called
    bool m_whole = false;                      // the output is m_job's, served from m_served on
    bool m_memoryInput = false;                // zlib reads m_job's input instead of the archive
    size_t m_memoryOffset = 0;                 // of the next input block in m_job's input
    size_t m_served = 0;                       // output bytes of m_job given out
    CWholeInflate m_job;                       // the entry's whole decode
    CInflateBatch m_ready;                     // decoded ahead, taken back from the worker
    size_t m_readyNext = 0;                    // slots of m_ready before this one are used
    CInflateBatch m_spare;                     // buffers for the next prefetch
    CWholeInflater m_inflater;                 // for entries not prefetched
    std::unique_ptr<CInflateWorker> m_worker;  // made by the first prefetch
};

/// Bzip2 (method 12) entries through libbz2.
class CBzip2Decoder : public CLibraryDecoder {
public:
    class COptions : public CZipDecoder::COptions {
    public:
        int GetType() const override { return kTypeBzip2; }
        std::unique_ptr<CZipDecoder::COptions> Clone() const override {
            return std::make_unique<COptions>(*this);
        }
        bool m_smallMemory = false;  // libbz2's slower, smaller decompression
    };

    explicit CBzip2Decoder(CZipSource& storage) : CLibraryDecoder(storage) {}
    ~CBzip2Decoder() override;

    bool Supports(uint16_t method) const override { return method == 12; }
    void BeginDecoding(CZipEntry& entry, CZipCipher* cipher) override;
    size_t DecodeBlock(uint8_t* buffer, size_t size) override;
    void EndDecoding(bool afterException) override;
    const CZipDecoder::COptions& GetOptions() const override { return m_options; }
    void UpdateOptions(const CZipDecoder::COptions& options) override;
    int ConvertResult(int result) const override;
    bool IsResultAccepted(int result) const override { return result >= 0 && result <= 3; }

private:
    static void* BzAllocate(void* opaque, int items, int size);
    static void BzFree(void* opaque, void* block);

    COptions m_options;
    bz_stream m_stream{};
    bool m_streamOpen = false;  // BZ2_bzDecompressInit succeeded, End not yet called
};

}  // namespace zipcodec
