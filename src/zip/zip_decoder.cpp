// Decompression of entry data: stored, deflate through zlib's raw inflate, bzip2 through
// libbz2; the CRC-32 of what is produced; the libraries' memory through our own functions.
#include "zip/zip_decoder.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "zip/little_endian.h"
#include "zip/zip_cipher.h"
#include "zip/zip_entry.h"
#include "zip/zip_error.h"
#include "zip/zip_source.h"

namespace {

constexpr uint32_t kDefaultInputSize = 131072;

}  // namespace

void CZipDecoder::BeginDecoding(CZipEntry& entry, CZipCipher* cipher) {
    m_entry = &entry;
    m_cipher = cipher;
    uint32_t overhead = entry.EncryptionOverhead();
    if (entry.m_compressedSize < overhead) {
        CZipError::Throw(CZipError::kBadArchive, m_storage.ArchivePath());
    }
    m_compressedLeft = entry.m_compressedSize - overhead;
    m_uncompressedLeft = entry.m_uncompressedSize;
    m_crc = 0;
    m_finished = false;
}

void CZipDecoder::EndDecoding(bool afterException) {
    (void)afterException;
    m_entry = nullptr;
    m_cipher = nullptr;
}

size_t CZipDecoder::DecodeView(size_t size, const uint8_t*& data, uint8_t* scratch) {
    data = scratch;
    return DecodeBlock(scratch, size);
}

void CZipDecoder::Prefetch(const std::vector<zipcodec::CPrefetchRequest>& requests) {
    (void)requests;
}

size_t CZipDecoder::InputChunkSize() const {
    uint32_t size = GetOptions().m_bufferSize;
    return size != 0 ? size : kDefaultInputSize;
}

size_t CZipDecoder::FillInput() {
    if (m_input.IsEmpty()) {
        m_input.Allocate(InputChunkSize());
    }
    size_t count = static_cast<size_t>(std::min<uint64_t>(m_input.Size(), m_compressedLeft));
    m_storage.Read(m_input.Data(), count, false);
    if (m_cipher != nullptr) {
        m_cipher->Decrypt(m_input.Data(), count);
    }
    m_compressedLeft -= count;
    return count;
}

void CZipDecoder::UpdateCrc(const uint8_t* data, size_t size) {
    if (m_entry != nullptr && m_entry->m_ignoreCrc) {
        return;  // AE-2: the header holds no CRC to compare with; the HMAC checks the data
    }
    m_crc = zipcodec::Crc32(m_crc, data, size);
}

namespace zipcodec {

CLibraryDecoder::~CLibraryDecoder() {
    FreeTracked();
}

void* CLibraryDecoder::Allocate(void* opaque, size_t items, size_t size) {
    auto* self = static_cast<CLibraryDecoder*>(opaque);
    size_t bytes = 0;
    if (__builtin_mul_overflow(items, size, &bytes)) {
        return nullptr;
    }
    auto* block = new (std::nothrow) uint8_t[bytes];
    if (block != nullptr && self->GetOptions().m_trackAllocations) {
        try {
            self->m_blocks.push_back(block);
        } catch (const std::bad_alloc&) {
            delete[] block;
            return nullptr;
        }
    }
    return block;
}

void CLibraryDecoder::Free(void* opaque, void* block) {
    auto* self = static_cast<CLibraryDecoder*>(opaque);
    auto* bytes = static_cast<uint8_t*>(block);
    auto it = std::find(self->m_blocks.begin(), self->m_blocks.end(), bytes);
    if (it != self->m_blocks.end()) {
        *it = self->m_blocks.back();
        self->m_blocks.pop_back();
    }
    delete[] bytes;
}

void CLibraryDecoder::FreeTracked() {
    for (uint8_t* block : m_blocks) {
        delete[] block;
    }
    m_blocks.clear();
}

void CLibraryDecoder::EndDecoding(bool afterException) {
    FreeTracked();
    CZipDecoder::EndDecoding(afterException);
}

// ---- deflate and stored ----

CDeflateDecoder::~CDeflateDecoder() {
    if (m_streamOpen) {
        inflateEnd(&m_stream);
    }
}

void CDeflateDecoder::UpdateOptions(const CZipDecoder::COptions& options) {
    if (options.GetType() == COptions::kTypeDeflate) {
        m_options = static_cast<const COptions&>(options);
    }
}

int CDeflateDecoder::ConvertResult(int result) const {
    switch (result) {
        case Z_STREAM_END:
            return CZipError::kZlibStreamEnd;
        case Z_NEED_DICT:
            return CZipError::kZlibNeedDict;
        case Z_ERRNO:
            return CZipError::kZlibErrno;
        case Z_STREAM_ERROR:
            return CZipError::kZlibStreamError;
        case Z_DATA_ERROR:
            return CZipError::kZlibDataError;
        case Z_MEM_ERROR:
            return CZipError::kZlibMemError;
        case Z_BUF_ERROR:
            return CZipError::kZlibBufError;
        case Z_VERSION_ERROR:
            return CZipError::kZlibVersionError;
        default:
            return CZipError::kGeneric;
    }
}

void CDeflateDecoder::BeginDecoding(CZipEntry& entry, CZipCipher* cipher) {
    if (m_streamOpen) {
        inflateEnd(&m_stream);
        m_streamOpen = false;
    }
    FreeTracked();
    CZipDecoder::BeginDecoding(entry, cipher);
    m_stored = entry.m_method == CZipEntry::kMethodStored;
    m_whole = false;
    m_memoryInput = false;
    m_memoryOffset = 0;
    m_served = 0;
    if (m_stored) {
        return;
    }
    if (LoadWhole(entry, cipher)) {
        if (m_job.m_complete && m_job.m_crc == entry.m_crc32) {
            m_whole = true;
            return;
        }
        // Not certainly what zlib makes of it: zlib decides, over the same bytes.
        m_memoryInput = true;
    }
    m_stream = z_stream{};
    m_stream.zalloc = [](voidpf opaque, uInt items, uInt size) -> voidpf {
        return Allocate(opaque, items, size);
    };
    m_stream.zfree = [](voidpf opaque, voidpf block) { Free(opaque, block); };
    m_stream.opaque = static_cast<CLibraryDecoder*>(this);
    int result = inflateInit2(&m_stream, -MAX_WBITS);
    if (result != Z_OK && result != Z_NEED_DICT) {
        FreeTracked();
        CZipError::Throw(ConvertResult(result), m_storage.ArchivePath());
    }
    m_streamOpen = true;
}

bool CDeflateDecoder::LoadWhole(const CZipEntry& entry, const CZipCipher* cipher) {
    // Encrypted entries stream: the end-of-entry step of AES reads where the data reading
    // stopped, which for a stream that ends early is not the end of the data. Split archives
    // read across files.
    if (!m_options.m_wholeEntries || cipher != nullptr || entry.m_ignoreCrc ||
        m_storage.IsSegmented() || m_compressedLeft > kWholeLimit ||
        m_uncompressedLeft > kWholeLimit) {
        return false;
    }
    const uint64_t data = m_storage.Position();
    const CStreamKey key{0, m_compressedLeft, m_uncompressedLeft};
    size_t index = 0;
    CWholeInflate* ready = FindReady(entry.m_localOffset, key, index);
    if (ready != nullptr) {
        m_readyNext = index + 1;
        // Read whole ahead, so within the file, from where the entry's own header says.
        if (ready->m_loaded && ready->m_data == data) {
            std::swap(m_job, *ready);
            m_storage.SeekToPosition(data + key.m_compressed);
            return true;
        }
    }
    // Data running past the end of the file streams, so that the short read comes where it
    // always came, after the blocks before it were written.
    if (data + key.m_compressed > m_storage.Length()) {
        return false;
    }
    const size_t count = static_cast<size_t>(key.m_compressed);
    m_job.m_input.Resize(count);
    m_job.m_streamStart = 0;
    m_job.m_output.Resize(static_cast<size_t>(key.m_uncompressed));
    if (count != 0) {
        m_storage.Read(m_job.m_input.Data(), count, false);
    }
    m_inflater.Run(m_job);
    return true;
}

bool CDeflateDecoder::LoadAhead(CWholeInflate& job, const CStreamKey& key) const {
    try {
        // The local header and the data in one read, as far as the central directory says
        // they go (Prefetch sized the buffers); the entry's own turn checks its header as
        // always, and takes the result only for data at the same place.
        if (!m_storage.ReadAt(job.m_header, job.m_input.Data(), job.m_input.Size())) {
            return false;
        }
        const uint8_t* header = job.m_input.Data();
        const uint64_t data = zipformat::kLocalHeaderSize + zipformat::Get16(header + 26) +
                              zipformat::Get16(header + 28);
        if (zipformat::Get32(header) != zipformat::kLocalHeaderSignature ||
            job.m_header + data + key.m_compressed > job.m_fileLength) {
            return false;
        }
        if (data + key.m_compressed <= job.m_span) {
            job.m_input.Resize(static_cast<size_t>(data + key.m_compressed));  // kept
            job.m_streamStart = static_cast<size_t>(data);
        } else {
            // The local fields run longer than the span: the data is read where it lies.
            job.m_input.Resize(static_cast<size_t>(key.m_compressed));
            job.m_streamStart = 0;
            if (!m_storage.ReadAt(job.m_header + data, job.m_input.Data(), job.m_input.Size())) {
                return false;
            }
        }
        job.m_data = job.m_header + data;
        return true;
    } catch (const std::bad_alloc&) {
        return false;  // the entry's own turn tries again, and reports it
    }
}

CWholeInflate* CDeflateDecoder::FindReady(uint64_t localOffset, CStreamKey key, size_t& index) {
    if (!m_storage.PositionOfArchiveOffset(localOffset, key.m_position)) {
        return nullptr;
    }
    CWholeInflate* ready = m_ready.Find(key, m_readyNext, index);
    if (ready == nullptr && m_worker && m_worker->Take(key, m_ready)) {
        m_readyNext = 0;
        ready = m_ready.Find(key, 0, index);
    }
    return ready;
}

bool CDeflateDecoder::ReadAhead(const CZipEntry& entry, uint64_t& position,
                                const uint8_t*& bytes, size_t& size) {
    // The job LoadWhole will look for; taking it from the worker now only brings forward
    // the wait LoadWhole would have.
    if (entry.m_encryption != CZipEntry::kNoEncryption) {
        return false;
    }
    size_t index = 0;
    const CWholeInflate* ready =
        FindReady(entry.m_localOffset, {0, entry.m_compressedSize, entry.m_uncompressedSize}, index);
    // Only a job that holds the header and the data in one piece.
    if (ready == nullptr || !ready->m_loaded || ready->m_streamStart == 0) {
        return false;
    }
    position = ready->m_header;
    bytes = ready->m_input.Data();
    size = ready->m_input.Size();
    return true;
}

void CDeflateDecoder::Prefetch(const std::vector<CPrefetchRequest>& requests) {
    // The worker reads as well as inflates: this thread only says where to.
    if (!m_options.m_wholeEntries || !m_storage.PrepareReadAt()) {
        return;
    }
    uint64_t length = 0;
    try {
        length = m_storage.Length();
    } catch (const CZipError&) {
        return;  // the entries' own turns read and report
    }
    m_spare.m_count = 0;
    for (const CPrefetchRequest& request : requests) {
        uint64_t start = 0;
        if (request.m_compressed > kWholeLimit || request.m_uncompressed > kWholeLimit ||
            !m_storage.PositionOfArchiveOffset(request.m_localOffset, start) ||
            start >= length || length - start < zipformat::kLocalHeaderSize) {
            break;
        }
        const uint64_t span =
            std::clamp<uint64_t>(request.m_span, zipformat::kLocalHeaderSize, length - start);
        CWholeInflate& job =
            m_spare.Add({start, request.m_compressed, request.m_uncompressed},
                        static_cast<size_t>(span), static_cast<size_t>(request.m_uncompressed));
        // Storage is allocated here, not on the worker: memory a thread of its own allocates
        // comes from an arena of its own, which gives pages back to the system as soon as
        // they are freed, to be faulted in again by the next batch.
        job.m_input.Resize(static_cast<size_t>(span));
        job.m_output.Resize(static_cast<size_t>(request.m_uncompressed));
        job.m_header = start;
        job.m_span = span;
        job.m_fileLength = length;
        job.m_loaded = false;
    }
    if (m_spare.m_count == 0) {
        return;
    }
    if (!m_worker) {
        m_worker = std::make_unique<CInflateWorker>(
            [this](CWholeInflate& job, const CStreamKey& key) { return LoadAhead(job, key); });
    }
    m_worker->Submit(m_spare);
}

size_t CDeflateDecoder::ServeWhole(size_t size, const uint8_t*& data) {
    const size_t total = m_job.m_output.Size();
    const size_t count = std::min(size, total - m_served);
    data = m_job.m_output.Data() + m_served;
    m_served += count;
    m_uncompressedLeft -= count;
    if (m_served == total) {
        // The stream was used up and its CRC-32 is the whole output's.
        m_compressedLeft = 0;
        m_crc = m_job.m_crc;
        m_finished = true;
    }
    return count;
}

size_t CDeflateDecoder::DecodeView(size_t size, const uint8_t*& data, uint8_t* scratch) {
    if (m_whole && !m_finished) {
        return ServeWhole(size, data);
    }
    return CZipDecoder::DecodeView(size, data, scratch);
}

size_t CDeflateDecoder::DecodeStored(uint8_t* buffer, size_t size) {
    size_t count = static_cast<size_t>(std::min<uint64_t>(size, m_compressedLeft));
    if (count == 0) {
        return 0;
    }
    m_storage.Read(buffer, count, false);
    if (m_cipher != nullptr) {
        m_cipher->Decrypt(buffer, count);
    }
    UpdateCrc(buffer, count);
    m_compressedLeft -= count;
    m_uncompressedLeft -= std::min<uint64_t>(count, m_uncompressedLeft);
    return count;
}

size_t CDeflateDecoder::DecodeBlock(uint8_t* buffer, size_t size) {
    if (m_finished) {
        return 0;
    }
    if (m_stored) {
        return DecodeStored(buffer, size);
    }
    if (m_whole) {
        const uint8_t* data = nullptr;
        size_t count = ServeWhole(size, data);
        if (count != 0) {
            std::memcpy(buffer, data, count);
        }
        return count;
    }
    size_t wanted = static_cast<size_t>(std::min<uint64_t>({size, m_uncompressedLeft, UINT_MAX}));
    // With the whole size produced, compressed bytes still unread must reach the stream's end.
    bool force = wanted == 0 && m_compressedLeft > 0;
    m_stream.next_out = buffer;
    m_stream.avail_out = static_cast<uInt>(wanted);
    size_t produced = 0;
    while (m_stream.avail_out > 0 || (force && m_compressedLeft > 0)) {
        if (m_stream.avail_in == 0) {
            if (m_memoryInput) {
                // The same blocks FillInput would read, from the bytes read already.
                size_t count =
                    static_cast<size_t>(std::min<uint64_t>(InputChunkSize(), m_compressedLeft));
                m_stream.next_in = m_job.Stream() + m_memoryOffset;
                m_stream.avail_in = static_cast<uInt>(count);
                m_memoryOffset += count;
                m_compressedLeft -= count;
            } else {
                m_stream.avail_in = static_cast<uInt>(FillInput());
                m_stream.next_in = m_input.Data();
            }
        }
        uInt before = m_stream.avail_out;
        Bytef* start = m_stream.next_out;
        int result = inflate(&m_stream, Z_NO_FLUSH);
        size_t got = before - m_stream.avail_out;
        UpdateCrc(start, got);
        m_uncompressedLeft -= got;
        produced += got;
        if (result == Z_STREAM_END) {
            m_finished = true;
            return produced;
        }
        if (!IsResultAccepted(result)) {
            CZipError::Throw(ConvertResult(result), m_storage.ArchivePath());
        }
    }
    if (produced == 0 && m_options.m_checkLastBlock && size > 0) {
        // The declared size is reached: the stream must end here, with nothing more to give.
        int result = inflate(&m_stream, Z_NO_FLUSH);
        if (result != Z_STREAM_END) {
            CZipError::Throw(CZipError::kBadArchive, m_storage.ArchivePath());
        }
        m_finished = true;
    }
    return produced;
}

void CDeflateDecoder::EndDecoding(bool afterException) {
    if (m_streamOpen && !afterException) {
        inflateEnd(&m_stream);
    }
    m_streamOpen = false;
    m_whole = false;
    m_memoryInput = false;
    CLibraryDecoder::EndDecoding(afterException);
}

// ---- bzip2 ----

CBzip2Decoder::~CBzip2Decoder() {
    if (m_streamOpen) {
        BZ2_bzDecompressEnd(&m_stream);
    }
}

void* CBzip2Decoder::BzAllocate(void* opaque, int items, int size) {
    if (items < 0 || size < 0) {
        return nullptr;
    }
    return Allocate(opaque, static_cast<size_t>(items), static_cast<size_t>(size));
}

void CBzip2Decoder::BzFree(void* opaque, void* block) {
    Free(opaque, block);
}

void CBzip2Decoder::UpdateOptions(const CZipDecoder::COptions& options) {
    if (options.GetType() == COptions::kTypeBzip2) {
        m_options = static_cast<const COptions&>(options);
    }
}

int CBzip2Decoder::ConvertResult(int result) const {
    if (result <= -1 && result >= -9) {
        return CZipError::kBzip2First + (-1 - result);
    }
    return CZipError::kGeneric;
}

void CBzip2Decoder::BeginDecoding(CZipEntry& entry, CZipCipher* cipher) {
    if (m_streamOpen) {
        BZ2_bzDecompressEnd(&m_stream);
        m_streamOpen = false;
    }
    FreeTracked();
    CZipDecoder::BeginDecoding(entry, cipher);
    m_stream = bz_stream{};
    m_stream.bzalloc = BzAllocate;
    m_stream.bzfree = BzFree;
    m_stream.opaque = static_cast<CLibraryDecoder*>(this);
    int result = BZ2_bzDecompressInit(&m_stream, 0, m_options.m_smallMemory ? 1 : 0);
    if (!IsResultAccepted(result)) {
        FreeTracked();
        CZipError::Throw(ConvertResult(result), m_storage.ArchivePath());
    }
    m_streamOpen = true;
}

size_t CBzip2Decoder::DecodeBlock(uint8_t* buffer, size_t size) {
    if (m_finished) {
        return 0;
    }
    size_t wanted = static_cast<size_t>(std::min<uint64_t>({size, m_uncompressedLeft, UINT_MAX}));
    // libbz2 may notice the end of its stream only on a call after the last output byte,
    // so input still buffered counts as well as input still in the archive.
    auto inputLeft = [this] { return m_compressedLeft > 0 || m_stream.avail_in > 0; };
    bool force = wanted == 0 && inputLeft();
    m_stream.next_out = reinterpret_cast<char*>(buffer);
    m_stream.avail_out = static_cast<unsigned>(wanted);
    size_t produced = 0;
    while (m_stream.avail_out > 0 || (force && inputLeft())) {
        if (m_stream.avail_in == 0) {
            m_stream.avail_in = static_cast<unsigned>(FillInput());
            m_stream.next_in = reinterpret_cast<char*>(m_input.Data());
        }
        unsigned inBefore = m_stream.avail_in;
        unsigned outBefore = m_stream.avail_out;
        auto* start = reinterpret_cast<uint8_t*>(m_stream.next_out);
        int result = BZ2_bzDecompress(&m_stream);
        size_t got = outBefore - m_stream.avail_out;
        UpdateCrc(start, got);
        m_uncompressedLeft -= got;
        produced += got;
        if (result == BZ_STREAM_END) {
            m_finished = true;
            return produced;
        }
        if (!IsResultAccepted(result)) {
            CZipError::Throw(ConvertResult(result), m_storage.ArchivePath());
        }
        if (got == 0 && m_stream.avail_in == 0 && m_compressedLeft == 0) {
            break;  // the data ends without the stream's end
        }
        if (got == 0 && m_stream.avail_in == inBefore) {
            break;  // no progress: more output than the entry's size
        }
    }
    if (produced == 0 && size > 0) {
        CZipError::Throw(CZipError::kBadArchive, m_storage.ArchivePath());
    }
    return produced;
}

void CBzip2Decoder::EndDecoding(bool afterException) {
    if (m_streamOpen && !afterException) {
        BZ2_bzDecompressEnd(&m_stream);
    }
    m_streamOpen = false;
    CLibraryDecoder::EndDecoding(afterException);
}

}  // namespace zipcodec
