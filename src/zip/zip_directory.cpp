// CZipDirectory: end-record search, Zip64 records, central headers, the sort into file order,
// and the checks that keep a hostile archive from making the reader allocate or seek wildly.
#include "zip/zip_directory.h"

#include <algorithm>
#include <cstring>

#include "zip/little_endian.h"
#include "zip/zip_error.h"
#include "zip/zip_source.h"

using namespace zipformat;

namespace {

// Reads the central directory through one large buffer instead of four small reads per
// header. It reads ahead only within the directory's declared size, so that a split
// archive is never asked for bytes past its last volume that nobody needs.
class CDirectoryReader {
public:
    static constexpr size_t kChunk = 65536;

    CDirectoryReader(CZipSource& storage, uint64_t directorySize)
        : m_storage(storage), m_directoryLeft(directorySize) {}

    // The next `count` bytes; valid until the next call.
    const uint8_t* Take(size_t count) {
        if (m_end - m_begin < count) {
            Fill(count);
        }
        const uint8_t* bytes = m_buffer.Data() + m_begin;
        m_begin += count;
        m_taken += count;
        return bytes;
    }

    // Bytes handed out so far.
    uint64_t Taken() const { return m_taken; }

private:
    void Fill(size_t count) {
        size_t have = m_end - m_begin;
        size_t need = count - have;
        size_t chunk = std::max<size_t>(
            need, static_cast<size_t>(std::min<uint64_t>(kChunk, m_directoryLeft)));
        if (m_buffer.Size() < have + chunk) {
            CByteBuffer larger(std::max(have + chunk, 2 * kChunk));
            if (have != 0) {
                std::memcpy(larger.Data(), m_buffer.Data() + m_begin, have);
            }
            m_buffer = std::move(larger);
        } else if (have != 0) {
            std::memmove(m_buffer.Data(), m_buffer.Data() + m_begin, have);
        }
        m_begin = 0;
        m_end = have;
        m_storage.Read(m_buffer.Data() + m_end, chunk, false);
        m_end += chunk;
        m_directoryLeft -= std::min<uint64_t>(chunk, m_directoryLeft);
    }

    CZipSource& m_storage;
    CByteBuffer m_buffer;
    size_t m_begin = 0;        // first unread byte in the buffer
    size_t m_end = 0;          // end of the valid bytes
    uint64_t m_directoryLeft;  // declared directory bytes not read yet
    uint64_t m_taken = 0;      // bytes handed out by Take
};

constexpr uint8_t kEndSignatureBytes[4] = {0x50, 0x4B, 0x05, 0x06};

}  // namespace

void CZipDirectory::Clear() {
    m_headers.clear();
    m_info = CInfo();
    m_openedIndex = -1;
}

uint64_t CZipDirectory::LocateEndRecord(CZipSource& storage) {
    uint64_t length = storage.Length();
    uint64_t window = std::min<uint64_t>(length, kEndRecordWindow);
    uint64_t start = length - window;
    CByteBuffer bytes(static_cast<size_t>(window));

    // Backwards in chunks, the last chunk first; within a chunk from the last byte to the
    // first against the signature from its last byte to its first. A partial match carries
    // over the chunk border; on a mismatch the same byte is tried as a new last byte (the
    // signature's last byte occurs in it only once, so nothing is missed).
    std::vector<uint64_t> candidates;  // positions, nearest to the end first
    int matched = 0;
    uint64_t chunkEnd = length;
    while (chunkEnd > start) {
        uint64_t chunkStart =
            chunkEnd - std::min<uint64_t>(CZipSource::kLocateBufferSize, chunkEnd - start);
        uint8_t* chunk = bytes.Data() + (chunkStart - start);
        storage.SeekToPosition(chunkStart);
        storage.Read(chunk, static_cast<size_t>(chunkEnd - chunkStart), false);
        for (uint64_t i = chunkEnd - chunkStart; i-- > 0;) {
            uint8_t b = chunk[i];
            if (b == kEndSignatureBytes[3 - matched]) {
                if (++matched == 4) {
                    candidates.push_back(chunkStart + i);
                    matched = 0;
                }
            } else {
                matched = b == kEndSignatureBytes[3] ? 1 : 0;
            }
        }
        chunkEnd = chunkStart;
    }

    // A record must fit in the file. The genuine record is normally the nearest; but when
    // an earlier one's comment reaches exactly the end of the file, any signature after it
    // lies inside that comment (a record hidden there to mislead readers), so the earliest
    // record ending exactly at the end of the file wins.
    const uint64_t* nearest = nullptr;
    const uint64_t* earliestExact = nullptr;
    for (const uint64_t& position : candidates) {
        if (length - position < kEndRecordSize) {
            continue;
        }
        if (nearest == nullptr) {
            nearest = &position;
        }
        uint16_t commentLength = Get16(bytes.Data() + (position - start) + 20);
        if (position + kEndRecordSize + commentLength == length) {
            earliestExact = &position;
        }
    }
    if (earliestExact != nullptr) {
        return *earliestExact;
    }
    if (nearest != nullptr) {
        return *nearest;
    }
    CZipError::Throw(CZipError::kEndRecordNotFound, storage.ArchivePath());
}

void CZipDirectory::ReadEndRecord(CZipSource& storage) {
    const std::string& path = storage.ArchivePath();
    m_info.endOffset = LocateEndRecord(storage);
    uint8_t record[18];
    storage.SeekToPosition(m_info.endOffset + 4);
    storage.Read(record, sizeof record, true);
    uint16_t thisDisk = Get16(record);
    uint16_t startDisk = Get16(record + 2);
    uint16_t diskEntries = Get16(record + 4);
    uint16_t totalEntries = Get16(record + 6);
    uint32_t size = Get32(record + 8);
    uint32_t offset = Get32(record + 12);
    uint16_t commentLength = Get16(record + 16);
    m_info.comment.Allocate(commentLength);
    storage.Read(m_info.comment.Data(), commentLength, true);
    m_info.lastVolume = thisDisk;
    m_info.volumeWithCD = startDisk;
    m_info.volumeEntries = diskEntries;
    m_info.entries = totalEntries;
    m_info.cdSize = size;
    m_info.cdOffset = offset;

    bool maximal = thisDisk == 0xFFFF || startDisk == 0xFFFF || diskEntries == 0xFFFF ||
                   totalEntries == 0xFFFF || size == 0xFFFFFFFFu || offset == 0xFFFFFFFFu;
    bool lookForZip64 = maximal;
    if (!maximal) {
        uint64_t directoryEnd = 0;
        lookForZip64 = AddChecked(m_info.cdOffset, m_info.cdSize, directoryEnd) &&
                       directoryEnd <= m_info.endOffset &&
                       m_info.endOffset - directoryEnd == kZip64EndRecordSize + kZip64LocatorSize;
    }
    if (lookForZip64 && m_info.endOffset >= kZip64LocatorSize) {
        uint8_t locator[kZip64LocatorSize];
        storage.SeekToPosition(m_info.endOffset - kZip64LocatorSize);
        storage.Read(locator, 4, true);
        if (Get32(locator) == kZip64LocatorSignature) {
            storage.Read(locator + 4, 16, true);
            m_info.zip64Disk = Get32(locator + 4);
            uint64_t recordOffset = Get64(locator + 8);
            uint32_t totalDisks = Get32(locator + 16);
            // Some writers put 0 for a one-disk archive.
            m_info.lastVolume = totalDisks == 0 ? 0 : totalDisks - 1;
            if (storage.CurrentVolume() >= 0) {
                storage.ChangeVolume(m_info.zip64Disk);
            }
            if (!FitsSeek(recordOffset)) {
                CZipError::Throw(CZipError::kBadArchive, path);
            }
            m_info.endOffset = recordOffset;
            uint8_t zip64[kZip64EndRecordSize];
            storage.SeekToPosition(recordOffset);
            storage.Read(zip64, sizeof zip64, true);
            if (Get32(zip64) != kZip64EndRecordSignature) {
                CZipError::Throw(CZipError::kBadZip64Record, path);
            }
            uint32_t expectedDisk = storage.IsBinarySplit() ? 0 : m_info.zip64Disk;
            if (Get32(zip64 + 16) != expectedDisk) {
                CZipError::Throw(CZipError::kBadArchive, path);
            }
            m_info.volumeWithCD = Get32(zip64 + 20);
            m_info.volumeEntries = Get64(zip64 + 24);
            m_info.entries = Get64(zip64 + 32);
            m_info.cdSize = Get64(zip64 + 40);
            m_info.cdOffset = Get64(zip64 + 48);
            m_info.isZip64 = true;
        }
    }

    if ((m_ignoredChecks & kCheckVolumeEntries) == 0 && m_info.lastVolume == 0 &&
        (m_info.entries != m_info.volumeEntries || m_info.volumeWithCD != 0)) {
        CZipError::Throw(CZipError::kBadArchive, path);
    }
    storage.SetLastVolume(m_info.lastVolume);

    uint64_t directoryEnd = 0;
    bool oneSpace = !storage.IsSegmented() || storage.IsBinarySplit();
    if (!AddChecked(m_info.cdOffset, m_info.cdSize, directoryEnd) ||
        (oneSpace && directoryEnd > m_info.endOffset)) {
        CZipError::Throw(CZipError::kBadArchive, path);
    }
    if (!m_info.isZip64 && m_info.lastVolume == 0 && storage.PrefixBytes() == 0 && oneSpace) {
        storage.SetPrefixBytes(m_info.endOffset - directoryEnd);
    }
    if ((m_info.cdSize == 0) != (m_info.entries == 0)) {
        CZipError::Throw(CZipError::kBadArchive, path);
    }
    // Every central header takes at least 46 bytes: a count the directory cannot hold is
    // refused before anything is allocated for it.
    if (m_info.entries > m_info.cdSize / kCentralHeaderSize) {
        CZipError::Throw(CZipError::kBadArchive, path);
    }
}

void CZipDirectory::ReadHeaders(CZipSource& storage) {
    storage.SeekToArchiveOffset(m_info.cdOffset);
    CDirectoryReader reader(storage, m_info.cdSize);
    for (uint64_t i = 0; i < m_info.entries; ++i) {
        uint8_t fixed[kCentralHeaderSize];
        std::memcpy(fixed, reader.Take(kCentralHeaderSize), kCentralHeaderSize);
        if (Get32(fixed) != kCentralHeaderSignature) {
            CZipError::Throw(CZipError::kBadArchive, storage.ArchivePath());
        }
        size_t variableSize =
            static_cast<size_t>(Get16(fixed + 28)) + Get16(fixed + 30) + Get16(fixed + 32);
        const uint8_t* variable = reader.Take(variableSize);
        auto entry = std::make_unique<CZipEntry>();
        if (!entry->ReadCentralHeader(fixed, variable)) {
            CZipError::Throw(CZipError::kBadArchive, storage.ArchivePath());
        }
        m_headers.push_back(std::move(entry));
    }
    // The headers counted by the end record must fill the directory exactly: an end record
    // that counts fewer would hide the remaining entries, which a reader would then skip
    // while reporting the archive sound.
    if (reader.Taken() != m_info.cdSize) {
        CZipError::Throw(CZipError::kBadArchive, storage.ArchivePath());
    }
}

void CZipDirectory::SortAndCheck(const CZipSource& storage) {
    std::sort(m_headers.begin(), m_headers.end(), [](const auto& a, const auto& b) {
        if (a->m_diskStart != b->m_diskStart) {
            return a->m_diskStart < b->m_diskStart;
        }
        return a->m_localOffset < b->m_localOffset;
    });
    for (size_t i = 1; i < m_headers.size(); ++i) {
        if (m_headers[i]->m_diskStart == m_headers[i - 1]->m_diskStart &&
            m_headers[i]->m_localOffset == m_headers[i - 1]->m_localOffset) {
            CZipError::Throw(CZipError::kBadArchive, storage.ArchivePath());
        }
    }
    if (storage.IsSegmented() && !storage.IsBinarySplit()) {
        return;  // entries may run over volume borders
    }
    // In one file, each entry's local header and data lie before the next entry's local
    // header and before the central directory: entries that overlap (the trick of the
    // "better zip bomb") or reach into the directory are damaged.
    for (size_t i = 0; i < m_headers.size(); ++i) {
        CZipEntry& entry = *m_headers[i];
        uint64_t limit =
            i + 1 < m_headers.size() ? m_headers[i + 1]->m_localOffset : m_info.cdOffset;
        uint64_t end = 0;
        if (!AddChecked(entry.m_localOffset, kLocalHeaderSize, end) ||
            !AddChecked(end, entry.m_compressedSize, end) || end > limit) {
            CZipError::Throw(CZipError::kBadArchive, storage.ArchivePath());
        }
        entry.m_dataLimit = limit;
    }
}

void CZipDirectory::Read(CZipSource& storage) {
    Clear();
    ReadEndRecord(storage);
    m_info.inArchive = true;
    storage.ChangeVolume(m_info.volumeWithCD);
    if (m_info.cdSize != 0) {
        ReadHeaders(storage);
    }
    SortAndCheck(storage);
}
