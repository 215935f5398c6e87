// CZipDiskFile: the reader's files through the platform's C runtime descriptor.
#include "zip/zip_error.h"
#include "zip/zip_stream.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/crt_errno.h"

using platform::CrtFile;

void CZipDiskFile::Fail(int errnoValue) const {
    CZipError::Throw(errnoValue, m_path);
}

bool CZipDiskFile::Open(const std::string& path, uint32_t flags, bool throwOnError) {
    int result = OpenOrError(path, flags);
    if (result != 0) {
        if (throwOnError) {
            Fail(result);
        }
        return false;
    }
    return true;
}

int CZipDiskFile::OpenOrError(const std::string& path, uint32_t flags) {
    if (m_file.IsOpen()) {
        m_file.Close();
    }
    m_position = -1;
    m_behind = false;
    m_view = nullptr;
    m_path = path;
    int crtFlags = CrtFile::kBinary;
    uint32_t access = flags & 0x3;
    switch (access) {
        case kAccessWrite:
            crtFlags |= CrtFile::kWrite;
            break;
        case kAccessReadWrite:
            crtFlags |= CrtFile::kReadWrite;
            break;
        default:
            crtFlags |= CrtFile::kRead;
            break;
    }
    if ((flags & kCreate) != 0) {
        crtFlags |= CrtFile::kCreate;
        if ((flags & kCreateNew) != 0) {
            crtFlags |= CrtFile::kExclusive;
        }
    }
    // Reading never truncates; writing does unless asked to keep the contents.
    if ((flags & kNoTruncate) == 0 && access != kAccessRead && access != 0x3) {
        crtFlags |= CrtFile::kTruncate;
    }
    int share = CrtFile::kDenyNone;
    switch (flags & 0x70) {
        case kShareExclusive:
            share = CrtFile::kDenyReadWrite;
            break;
        case kShareDenyWrite:
            share = CrtFile::kDenyWrite;
            break;
        case kShareDenyRead:
            share = CrtFile::kDenyRead;
            break;
        default:
            break;
    }
    return m_file.Open(path, crtFlags, share);
}

void CZipDiskFile::Close() {
    if (!m_file.IsOpen()) {
        return;
    }
    m_position = -1;
    m_behind = false;
    m_view = nullptr;
    int result = m_file.Close();
    if (result != 0) {
        Fail(result);
    }
}

void CZipDiskFile::Flush() {
    int result = m_file.Commit();
    if (result != 0) {
        Fail(result);
    }
}

uint64_t CZipDiskFile::GetPosition() {
    return Seek(0, 1);
}

uint64_t CZipDiskFile::Seek(int64_t offset, int origin) {
    if (m_position >= 0 &&
        ((origin == 0 && offset == m_position) || (origin == 1 && offset == 0))) {
        return static_cast<uint64_t>(m_position);
    }
    if (origin == 0 && offset >= 0 && InView(static_cast<uint64_t>(offset), 0)) {
        m_position = offset;
        m_behind = true;
        return static_cast<uint64_t>(offset);
    }
    if (m_behind && origin == 1) {
        // Relative to where this object is, which the descriptor is not yet.
        ApplyPosition();
    }
    m_behind = false;
    int64_t position = 0;
    int result = m_file.Seek(offset, origin, position);
    if (result != 0) {
        m_position = -1;
        Fail(result);
    }
    m_position = position;
    return static_cast<uint64_t>(position);
}

void CZipDiskFile::ApplyPosition() {
    if (!m_behind) {
        return;
    }
    m_behind = false;
    int64_t position = 0;
    int result = m_file.Seek(m_position, 0, position);
    if (result != 0) {
        m_position = -1;
        Fail(result);
    }
}

bool CZipDiskFile::InView(uint64_t position, size_t count) const {
    return m_view != nullptr && position >= m_viewStart && position - m_viewStart <= m_viewSize &&
           count <= m_viewSize - (position - m_viewStart);
}

void CZipDiskFile::SetView(uint64_t position, const uint8_t* bytes, size_t size) {
    m_view = bytes;
    m_viewStart = position;
    m_viewSize = size;
}

bool CZipDiskFile::ReadAt(void* buffer, size_t count, uint64_t offset) const {
    size_t got = 0;
    return offset <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) &&
           m_file.ReadAt(buffer, count, static_cast<int64_t>(offset), got) == 0 && got == count;
}

uint64_t CZipDiskFile::GetLength() {
    int64_t length = 0;
    int result = m_file.Length(length);
    if (result != 0) {
        Fail(result);
    }
    return static_cast<uint64_t>(length);
}

void CZipDiskFile::SetLength(uint64_t length) {
    if (length > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        Fail(platform::kErrnoInval);
    }
    ApplyPosition();
    m_position = -1;
    int result = m_file.SetLength(static_cast<int64_t>(length));
    if (result != 0) {
        Fail(result);
    }
}

size_t CZipDiskFile::Read(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    if (count != 0 && m_position >= 0 && InView(static_cast<uint64_t>(m_position), count)) {
        std::memcpy(out, m_view + (static_cast<uint64_t>(m_position) - m_viewStart), count);
        m_position += static_cast<int64_t>(count);
        m_behind = true;
        return count;
    }
    ApplyPosition();
    size_t total = 0;
    // A descriptor may answer a large request in parts; only the end of the file is short.
    while (total < count) {
        size_t got = 0;
        int result = m_file.Read(out + total, count - total, got);
        if (result != 0) {
            m_position = -1;
            Fail(result);
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    if (m_position >= 0) {
        m_position += static_cast<int64_t>(total);
    }
    return total;
}

void CZipDiskFile::Write(const void* buffer, size_t count) {
    const auto* in = static_cast<const uint8_t*>(buffer);
    ApplyPosition();
    size_t total = 0;
    while (total < count) {
        size_t put = 0;
        int result = m_file.Write(in + total, count - total, put);
        if (result != 0 || put == 0) {
            m_position = -1;
            Fail(result != 0 ? result : platform::kErrnoNoSpc);
        }
        total += put;
    }
    if (m_position >= 0) {
        m_position += static_cast<int64_t>(total);
    }
}
