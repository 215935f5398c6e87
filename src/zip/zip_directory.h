// The central directory: locating and reading the end record (with Zip64 and bytes before
// the archive), reading every central header, and the entry list in file order.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/byte_buffer.h"
#include "zip/zip_entry.h"

class CZipSource;

/// The entry list and the end-record data of an open archive.
class CZipDirectory {
public:
    /// Ignored-checks bits (set = check skipped).
    static constexpr uint32_t kCheckDataCrc = 0x001;
    static constexpr uint32_t kCheckMethod = 0x002;
    static constexpr uint32_t kCheckSizes = 0x004;
    static constexpr uint32_t kCheckLocalCrc = 0x008;
    static constexpr uint32_t kCheckFlags = 0x010;
    static constexpr uint32_t kCheckDataDescriptor = 0x100;
    static constexpr uint32_t kCheckVolumeEntries = 0x200;
    static constexpr uint32_t kCheckDecryption = 0x400;
    /// The mask set at every open.
    static constexpr uint32_t kDefaultIgnoredChecks = kCheckDataDescriptor | kCheckVolumeEntries;
    /// The end record lies within this many bytes of the end of the file.
    static constexpr uint32_t kEndRecordWindow = 65535 + 22;

    /// What the end records say.
    struct CInfo {
        uint64_t endOffset = 0;      // position of the end record (Zip64 record if any)
        uint32_t lastVolume = 0;     // number of this disk (Zip64: total disks - 1)
        uint32_t volumeWithCD = 0;   // disk where the central directory starts
        uint64_t volumeEntries = 0;  // entries on this disk
        uint64_t entries = 0;        // total entries
        uint64_t cdSize = 0;         // size of the central directory
        uint64_t cdOffset = 0;       // offset of the central directory
        uint32_t zip64Disk = 0;      // disk with the Zip64 end record
        bool isZip64 = false;        // the values came from a Zip64 end record
        bool inArchive = false;      // read from the file and unchanged
        CByteBuffer comment;         // archive comment
    };

    CZipDirectory() = default;
    virtual ~CZipDirectory() = default;
    CZipDirectory(const CZipDirectory&) = delete;
    CZipDirectory& operator=(const CZipDirectory&) = delete;

    /// Reads the end record and the central directory from `storage`, which stays in use
    /// until Clear. Throws CZipError: 220 no end record, 221 bad Zip64 record, 201 damaged
    /// or hostile directory, errno values and 203 from the storage.
    void Read(CZipSource& storage);
    /// Frees the entries and the info record.
    void Clear();

    /// Finds the end record in the last 65557 bytes of the storage; returns its position.
    /// A signature inside the comment of an earlier end record that reaches the end of the
    /// file is comment text, not an end record. 220 when there is none.
    static uint64_t LocateEndRecord(CZipSource& storage);

    uint64_t GetCount() const { return m_headers.size(); }
    /// The entry at `index` (file order); null when out of range.
    CZipEntry* Get(uint64_t index) const {
        return index < m_headers.size() ? m_headers[index].get() : nullptr;
    }
    const CInfo& Info() const { return m_info; }

    uint32_t m_ignoredChecks = kDefaultIgnoredChecks;  // kCheck* bits
    uint32_t m_specialFlags = 0;                       // no exhaustive reading
    int64_t m_openedIndex = -1;                        // entry open now, -1 none

private:
    void ReadEndRecord(CZipSource& storage);
    void ReadHeaders(CZipSource& storage);
    void SortAndCheck(const CZipSource& storage);

    std::vector<std::unique_ptr<CZipEntry>> m_headers;  // in file order after reading
    CInfo m_info;
};
