// The archive file as the reader sees it: a readable, seekable byte stream that knows the
// bytes before the archive and the volumes of split archives (a.z01 ... a.zip) and of
// archives cut into byte-wise parts (a.001, a.002, ...).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip/byte_buffer.h"
#include "zip/volume_namer.h"
#include "zip/zip_stream.h"

/// The archive's storage. Every failure throws CZipError: errno values with the path of
/// the file concerned, 201 for short reads, 200 for a seek outside the parts, 203 for an
/// archive spanned over removable disks.
class CZipSource {
public:
    /// State flags.
    static constexpr uint32_t kStateOpen = 0x1;
    static constexpr uint32_t kStateReadOnly = 0x2;
    static constexpr uint32_t kStateOwnsFile = 0x4;
    static constexpr uint32_t kStateExisting = 0x8;
    static constexpr uint32_t kStateSegmented = 0x10;
    static constexpr uint32_t kStateSplit = 0x30;
    static constexpr uint32_t kStateBinarySplit = 0x70;
    static constexpr uint32_t kStateSpanned = 0x90;
    static constexpr uint32_t kSegmentBits = 0xF0;

    /// Open modes (the archive's modes): 1 existing for reading and updating, 3 read-only;
    /// bit 0x4 creates; 0x100 split, 0x200 binary split, 0x400 spanned.
    static constexpr int kModeOpen = 0x1;
    static constexpr int kModeReadOnly = 0x3;
    static constexpr int kModeCreate = 0x4;
    static constexpr int kModeSplit = 0x100;
    static constexpr int kModeBinarySplit = 0x200;
    static constexpr int kModeSpanned = 0x400;

    /// Chunk size of the end-record search.
    static constexpr uint32_t kLocateBufferSize = 32768;

    CZipSource();
    virtual ~CZipSource();
    CZipSource(const CZipSource&) = delete;
    CZipSource& operator=(const CZipSource&) = delete;

    /// Opens an existing archive. Mode 1 needs write access to the file (errno otherwise).
    /// A path whose extension is a part number of three digits or more, with a neighbouring
    /// part beside it, is read as a binary split archive even without bit 0x200.
    void Open(const std::string& path, int mode);
    /// Closes the file and resets the state; returns the archive path when `wantName`.
    std::string Close(bool write, bool wantName);

    bool IsOpen() const { return (m_state & kStateOpen) != 0; }
    bool IsReadOnly() const { return (m_state & kStateReadOnly) != 0; }
    bool IsSegmented() const { return (m_state & kStateSegmented) != 0; }
    bool IsBinarySplit() const { return (m_state & kSegmentBits) == kStateBinarySplit; }
    bool IsSplit() const { return (m_state & kSegmentBits) == kStateSplit; }
    uint32_t State() const { return m_state; }
    const std::string& ArchivePath() const { return m_archivePath; }
    /// The path of the file currently open (a volume or part of a split archive).
    std::string CurrentFilePath() const { return m_file.GetFilePath(); }

    /// Reads exactly `count` bytes, moving on to the following volumes in a segmented
    /// archive (for a header, `atOnce`, only in a binary split one); anything less is 201.
    void Read(void* buffer, size_t count, bool atOnce);

    /// Sets the segment mode from the end record's last volume (0: one file).
    void SetLastVolume(uint32_t lastVolume);
    uint32_t LastVolume() const { return m_lastVolume; }
    /// The 0-based volume open now; -1 when none.
    int64_t CurrentVolume() const { return m_currentVolume; }
    /// Opens volume `volume` of a split archive (nothing when current or not segmented).
    void ChangeVolume(uint32_t volume);

    /// Bytes before the archive in volume 0.
    uint64_t PrefixBytes() const { return m_prefixBytes; }
    void SetPrefixBytes(uint64_t bytes) { m_prefixBytes = bytes; }

    /// Seeks to an offset taken from the archive on the current volume: prefixBytes is
    /// added on volume 0. An offset that cannot be reached is 201.
    void SeekToArchiveOffset(uint64_t offset);
    /// The position SeekToArchiveOffset would seek to; false where it would throw.
    bool PositionOfArchiveOffset(uint64_t offset, uint64_t& position) const;
    /// Readies ReadAt: true for an archive in one file whose platform reads at an offset.
    bool PrepareReadAt();
    /// Reads `count` bytes at `position` of the file without moving Position(); true when
    /// all were read. After PrepareReadAt, for another thread, which must be done with it
    /// before the archive closes.
    bool ReadAt(uint64_t position, void* buffer, size_t count) const {
        return m_file.ReadAt(buffer, count, position);
    }
    /// Lends the bytes [position, position + size) of an archive in one file, as read
    /// elsewhere (ReadAt), for the reads and seeks inside them until ClearView (see
    /// CZipDiskFile::SetView); nothing for an archive in several files.
    void SetView(uint64_t position, const uint8_t* bytes, size_t size) {
        if (!IsSegmented()) {
            m_file.SetView(position, bytes, size);
        }
    }
    void ClearView() { m_file.ClearView(); }
    /// Seeks to a position of the current file (of all parts of a binary split archive).
    void SeekToPosition(uint64_t position);
    /// The current position (in all parts of a binary split archive).
    uint64_t Position();
    /// The length of the current file (of all parts of a binary split archive).
    uint64_t Length();

private:
    size_t ReadCurrent(uint8_t* buffer, size_t count);
    void MoveToNextVolume();
    void OpenPart(size_t part);
    void OpenBinarySplit(uint32_t lastPart);

    CZipDiskFile m_file;                    // the volume or part open now
    std::string m_archivePath;              // path given to Open
    uint32_t m_state = 0;                   // kState* flags
    int64_t m_currentVolume = -1;           // 0-based, -1 none
    uint32_t m_lastVolume = 0;              // from the end record
    uint64_t m_prefixBytes = 0;             // bytes before the archive in volume 0
    std::unique_ptr<CVolumeNamer> m_namer;  // names of volumes or parts; null for one file
    std::vector<uint64_t> m_partSizes;      // sizes of the parts of a binary split archive
    std::vector<uint64_t> m_partStarts;     // start of each part in the whole
    size_t m_currentPart = 0;               // part open now (binary split)
    uint64_t m_partPosition = 0;            // position inside the current part
};
