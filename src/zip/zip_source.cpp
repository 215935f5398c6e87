// CZipSource: the archive file, its prefix bytes and the volumes of split archives.
#include "zip/zip_source.h"

#include "platform/files.h"
#include "zip/little_endian.h"
#include "zip/zip_error.h"

namespace {

// True when the path lies on a removable drive (where split archives are spanned disks).
bool IsOnRemovableDrive(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') {
        return false;
    }
    return platform::DriveTypeOf(path.substr(0, 2) + "\\") == platform::kDriveRemovable;
}

}  // namespace

CZipSource::CZipSource() = default;

CZipSource::~CZipSource() {
    // The descriptor closes itself; a failing close must not throw from here.
}

void CZipSource::Open(const std::string& path, int mode) {
    if ((mode & kModeCreate) != 0) {
        // The reader only reads archives.
        CZipError::Throw(CZipError::kGeneric, path);
    }
    m_currentVolume = -1;
    m_state = kStateOpen | kStateOwnsFile | kStateExisting;
    if ((mode & 0x3) == kModeReadOnly) {
        m_state |= kStateReadOnly;
    }
    m_archivePath = path;
    uint32_t flags = (mode & 0x3) == kModeReadOnly ? CZipDiskFile::kArchiveReadOnly
                                                   : CZipDiskFile::kArchiveReadWrite;
    try {
        m_file.Open(path, flags, true);
        if ((mode & kModeSpanned) != 0) {
            // Spanned archives need a disk-change callback, which this reader has not.
            CZipError::Throw(CZipError::kNoCallback, path);
        }
        CBinaryVolumeNamer binary;
        uint32_t partNumber = binary.GetVolumeNumber(path);
        if ((mode & kModeBinarySplit) != 0) {
            if (partNumber == 0) {
                CZipError::Throw(CZipError::kBadArchive, path);
            }
            OpenBinarySplit(partNumber);
        } else if ((mode & kModeSplit) != 0) {
            m_state |= kStateSplit;
            m_namer = std::make_unique<CSplitVolumeNamer>();
            m_namer->Initialize(path);
        } else if (partNumber != 0) {
            // Parts cut by 7z -v or split(1) (a.zip.001, a.zip.002, ...): recognised by a
            // neighbouring part, so that a lone file with a numeric extension stays one file.
            binary.Initialize(path);
            int existing = CVolumeNamer::kExistingArchive;
            bool next = platform::FileExists(binary.GetVolumeName(partNumber + 1, existing));
            bool previous = partNumber > 1 &&
                            platform::FileExists(binary.GetVolumeName(partNumber - 1, existing));
            if (next || previous) {
                OpenBinarySplit(partNumber);
            }
        }
    } catch (...) {
        Close(false, false);
        throw;
    }
}

void CZipSource::OpenBinarySplit(uint32_t givenPart) {
    m_namer = std::make_unique<CBinaryVolumeNamer>();
    m_namer->Initialize(m_archivePath);
    int existing = CVolumeNamer::kExistingArchive;
    // Whichever part was given, the archive ends with the last part that exists.
    uint32_t lastPart = givenPart;
    while (lastPart < 99999 &&
           platform::FileExists(m_namer->GetVolumeName(lastPart + 1, existing))) {
        ++lastPart;
    }
    if (lastPart == 1 && givenPart == 1) {
        // One part only: an ordinary file.
        m_namer.reset();
        return;
    }
    m_state |= kStateBinarySplit;
    m_partSizes.assign(lastPart, 0);
    m_partStarts.assign(lastPart, 0);
    for (uint32_t part = lastPart; part >= 1; --part) {
        m_file.Open(m_namer->GetVolumeName(part, existing), CZipDiskFile::kArchiveReadOnly, true);
        m_partSizes[part - 1] = m_file.GetLength();
    }
    uint64_t start = 0;
    for (size_t i = 0; i < m_partSizes.size(); ++i) {
        m_partStarts[i] = start;
        if (!zipformat::AddChecked(start, m_partSizes[i], start)) {
            CZipError::Throw(CZipError::kBadArchive, m_archivePath);
        }
    }
    // The loop above ends on part 1; stay on the last part, where the end record is.
    OpenPart(m_partSizes.size() - 1);
}

void CZipSource::OpenPart(size_t part) {
    if (part >= m_partSizes.size()) {
        CZipError::Throw(CZipError::kBadArchive, m_archivePath);
    }
    if (part != m_currentPart || m_file.IsClosed()) {
        m_file.Close();
        m_file.Open(
            m_namer->GetVolumeName(static_cast<uint32_t>(part + 1), CVolumeNamer::kExistingArchive),
            CZipDiskFile::kArchiveReadOnly, true);
        m_currentPart = part;
    }
    m_partPosition = m_file.GetPosition();
}

std::string CZipSource::Close(bool write, bool wantName) {
    std::string name = wantName ? m_archivePath : std::string();
    try {
        if (write && !IsReadOnly() && !IsSegmented() && !m_file.IsClosed()) {
            m_file.Flush();
        }
        m_file.Close();
    } catch (const CZipError&) {
        // The state is reset whatever happens; a failed close after reading loses nothing.
        m_state = 0;
        m_currentVolume = -1;
        m_prefixBytes = 0;
        m_namer.reset();
        m_partSizes.clear();
        m_partStarts.clear();
        throw;
    }
    m_state = 0;
    m_currentVolume = -1;
    m_lastVolume = 0;
    m_prefixBytes = 0;
    m_namer.reset();
    m_partSizes.clear();
    m_partStarts.clear();
    m_currentPart = 0;
    m_partPosition = 0;
    return name;
}

size_t CZipSource::ReadCurrent(uint8_t* buffer, size_t count) {
    if (!IsBinarySplit()) {
        return m_file.Read(buffer, count);
    }
    uint64_t left =
        m_partSizes[m_currentPart] - std::min(m_partPosition, m_partSizes[m_currentPart]);
    size_t wanted = static_cast<size_t>(std::min<uint64_t>(count, left));
    size_t got = wanted == 0 ? 0 : m_file.Read(buffer, wanted);
    m_partPosition += got;
    return got;
}

void CZipSource::MoveToNextVolume() {
    if (!IsSegmented()) {
        CZipError::Throw(CZipError::kBadArchive, m_archivePath);
    }
    if (IsBinarySplit()) {
        if (m_currentPart + 1 >= m_partSizes.size()) {
            CZipError::Throw(CZipError::kBadArchive, m_archivePath);
        }
        OpenPart(m_currentPart + 1);
        m_file.SeekToBegin();
        m_partPosition = 0;
        return;
    }
    if (m_currentVolume < 0 || static_cast<uint64_t>(m_currentVolume) >= m_lastVolume) {
        CZipError::Throw(CZipError::kBadArchive, m_archivePath);
    }
    ChangeVolume(static_cast<uint32_t>(m_currentVolume + 1));
    m_file.SeekToBegin();
}

void CZipSource::Read(void* buffer, size_t count, bool atOnce) {
    if (count == 0) {
        return;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    size_t got = ReadCurrent(out, count);
    while (got == 0) {
        MoveToNextVolume();  // 201 when there is none
        got = ReadCurrent(out, count);
    }
    while (got < count) {
        if (!IsSegmented() || (atOnce && !IsBinarySplit())) {
            CZipError::Throw(CZipError::kBadArchive, m_archivePath);
        }
        MoveToNextVolume();
        size_t more = ReadCurrent(out + got, count - got);
        if (more == 0) {
            CZipError::Throw(CZipError::kBadArchive, m_archivePath);
        }
        got += more;
    }
}

void CZipSource::SetLastVolume(uint32_t lastVolume) {
    m_lastVolume = lastVolume;
    if (IsBinarySplit()) {
        // Parts are not disks: the disk numbers of a binary split archive are all 0.
        return;
    }
    m_currentVolume = lastVolume;
    if (lastVolume == 0) {
        m_state &= ~kSegmentBits;
        m_namer.reset();
        return;
    }
    if (!IsSegmented()) {
        if (IsOnRemovableDrive(m_archivePath)) {
            m_state |= kStateSpanned;
            CZipError::Throw(CZipError::kNoCallback, m_archivePath);
        }
        m_state |= kStateSplit;
        m_namer = std::make_unique<CSplitVolumeNamer>();
        m_namer->Initialize(m_archivePath);
    }
}

void CZipSource::ChangeVolume(uint32_t volume) {
    if (!IsSegmented() || IsBinarySplit() || m_currentVolume == static_cast<int64_t>(volume)) {
        return;
    }
    if (volume > m_lastVolume) {
        CZipError::Throw(CZipError::kBadArchive, m_archivePath);
    }
    int flags = CVolumeNamer::kExistingArchive;
    if (volume == m_lastVolume) {
        flags |= CVolumeNamer::kLastVolume;
    }
    std::string name = m_namer->GetVolumeName(volume + 1, flags);
    m_file.Close();
    m_currentVolume = -1;
    m_file.Open(name, CZipDiskFile::kArchiveReadOnly, true);
    m_currentVolume = volume;
}

bool CZipSource::PositionOfArchiveOffset(uint64_t offset, uint64_t& position) const {
    position = offset;
    if ((m_currentVolume <= 0 || IsBinarySplit()) &&
        !zipformat::AddChecked(offset, m_prefixBytes, position)) {
        return false;
    }
    return zipformat::FitsSeek(position);
}

bool CZipSource::PrepareReadAt() {
    return !IsSegmented() && !m_file.IsClosed() && m_file.PrepareReadAt();
}

void CZipSource::SeekToArchiveOffset(uint64_t offset) {
    uint64_t position = 0;
    if (!PositionOfArchiveOffset(offset, position)) {
        CZipError::Throw(CZipError::kBadArchive, m_archivePath);
    }
    SeekToPosition(position);
}

void CZipSource::SeekToPosition(uint64_t position) {
    if (!IsBinarySplit()) {
        if (!zipformat::FitsSeek(position)) {
            CZipError::Throw(CZipError::kBadArchive, m_archivePath);
        }
        m_file.Seek(static_cast<int64_t>(position), 0);
        return;
    }
    size_t part = m_partSizes.size() - 1;
    uint64_t total = m_partStarts[part] + m_partSizes[part];
    if (position > total) {
        CZipError::Throw(CZipError::kGeneric, m_archivePath);
    }
    while (part > 0 && position < m_partStarts[part]) {
        --part;
    }
    OpenPart(part);
    m_partPosition = position - m_partStarts[part];
    m_file.Seek(static_cast<int64_t>(m_partPosition), 0);
}

uint64_t CZipSource::Position() {
    if (IsBinarySplit()) {
        return m_partStarts[m_currentPart] + m_partPosition;
    }
    return m_file.GetPosition();
}

uint64_t CZipSource::Length() {
    if (IsBinarySplit()) {
        return m_partStarts.back() + m_partSizes.back();
    }
    return m_file.GetLength();
}
