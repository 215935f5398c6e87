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

/// Stored (method 0) and deflate (method 8) entries; deflate through zlib's raw inflate.
class CDeflateDecoder : public CLibraryDecoder {
public:
    class COptions : public CZipDecoder::COptions {
    public:
        int GetType() const override { return kTypeDeflate; }
        std::unique_ptr<CZipDecoder::COptions> Clone() const override {
            return std::make_unique<COptions>(*this);
        }
        bool m_checkLastBlock = true;  // a stream must end where the entry's size ends
    };

    explicit CDeflateDecoder(CZipSource& storage) : CLibraryDecoder(storage) {}
    ~CDeflateDecoder() override;

    bool Supports(uint16_t method) const override { return method == 0 || method == 8; }
    void BeginDecoding(CZipEntry& entry, CZipCipher* cipher) override;
    size_t DecodeBlock(uint8_t* buffer, size_t size) override;
    void EndDecoding(bool afterException) override;
    const CZipDecoder::COptions& GetOptions() const override { return m_options; }
    void UpdateOptions(const CZipDecoder::COptions& options) override;
    int ConvertResult(int result) const override;
    bool IsResultAccepted(int result) const override {
        return result == Z_OK || result == Z_NEED_DICT;
    }

private:
    size_t DecodeStored(uint8_t* buffer, size_t size);

    COptions m_options;
    z_stream m_stream{};
    bool m_stored = false;      // method 0: no library
    bool m_streamOpen = false;  // inflateInit2 succeeded, inflateEnd not yet called
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
