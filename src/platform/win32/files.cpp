// Files and folders through the Win32 file calls and the wide C runtime. Windows itself
// gives the semantics the interface describes; this file only widens the paths and
// translates the structures.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::Narrow;
using win32::UnixFromFileTime;
using win32::Wide;

uint32_t FileAttributes(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str());
}

bool ChangeFileAttributes(const std::string& path, uint32_t attributes) {
    return SetFileAttributesW(Wide(path).c_str(), attributes) != 0;
}

bool FileExists(const std::string& path) {
    return _waccess(Wide(path).c_str(), 0) == 0;
}

bool LibraryFilePath(const std::string& path, std::string& libraryPath) {
    // SQLite's Windows layer opens UTF-8 names through the W calls itself.
    libraryPath = path;
    return true;
}

bool ReadFileStatus(const std::string& path, FileStatus& status) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    status.modified = UnixFromFileTime(data.ftLastWriteTime);
    status.created = UnixFromFileTime(data.ftCreationTime);
    status.accessed = UnixFromFileTime(data.ftLastAccessTime);
    const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.size =
        folder ? 0 : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.attributes = data.dwFileAttributes;
    return true;
}

bool MakeFolder(const std::string& path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

bool RemoveFolder(const std::string& path) {
    return RemoveDirectoryW(Wide(path).c_str()) != 0;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) != 0;
}

bool CopyOneFile(const std::string& source, const std::string& target, bool failIfExists) {
    return CopyFileW(Wide(source).c_str(), Wide(target).c_str(), failIfExists ? TRUE : FALSE) != 0;
}

bool MoveOneFile(const std::string& source, const std::string& target) {
    return MoveFileW(Wide(source).c_str(), Wide(target).c_str()) != 0;
}

bool ReplaceOneFile(const std::string& source, const std::string& target) {
    return MoveFileExW(Wide(source).c_str(), Wide(target).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// ---------------------------------------------------------------------------------------
// Enumeration: the system's own order (NTFS lists names sorted; other file systems, and
// Wine on a Linux folder, list them as they come).

struct FileFinder::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

void Translate(const WIN32_FIND_DATAW& found, FindData& data) {
    data.name = Narrow(found.cFileName);
    data.attributes = found.dwFileAttributes;
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    data.size =
        folder ? 0 : (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    data.modified = UnixFromFileTime(found.ftLastWriteTime);
}

}  // namespace

FileFinder::FileFinder() = default;

FileFinder::~FileFinder() {
    Close();
}

void FileFinder::Close() {
    if (m_state && m_state->handle != INVALID_HANDLE_VALUE) {
        FindClose(m_state->handle);
    }
    m_state.reset();
}

bool FileFinder::First(const std::string& pattern, FindData& data) {
    Close();
    WIN32_FIND_DATAW found{};
    const HANDLE handle = FindFirstFileW(Wide(pattern).c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    m_state = std::make_unique<State>();
    m_state->handle = handle;
    Translate(found, data);
    return true;
}

bool FileFinder::Next(FindData& data) {
    if (!m_state) {
        SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    WIN32_FIND_DATAW found{};
    if (!FindNextFileW(m_state->handle, &found)) {
        return false;
    }
    Translate(found, data);
    return true;
}

bool CurrentFolder(std::string& folder) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            return false;
        }
        if (length < buffer.size()) {
            folder = Narrow(buffer.data(), length);
            return true;
        }
        buffer.resize(length + 1);
    }
}

bool ChangeCurrentFolder(const std::string& folder) {
    return SetCurrentDirectoryW(Wide(folder).c_str()) != 0;
}

uint32_t LogicalDrives() {
    return GetLogicalDrives();
}

unsigned DriveTypeOf(const std::string& root) {
    return GetDriveTypeW(Wide(root).c_str());
}

// ---------------------------------------------------------------------------------------
// The C runtime's descriptors: the numbers of the interface are the runtime's own.

int CrtFile::Open(const std::string& path, int flags, int share) {
    if (m_fd >= 0) {
        Close();
    }
    int fd = -1;
    const errno_t error =
        _wsopen_s(&fd, Wide(path).c_str(), flags | _O_BINARY, share, _S_IREAD | _S_IWRITE);
    if (error != 0) {
        return error;
    }
    m_fd = fd;
    return 0;
}

int CrtFile::Read(void* buffer, size_t count, size_t& got) {
    got = 0;
    if (m_fd < 0) {
        return EBADF;
    }
    // _read takes an unsigned count; larger requests are read in pieces.
    auto* out = static_cast<char*>(buffer);
    while (got < count) {
        const unsigned piece = static_cast<unsigned>(std::min<size_t>(count - got, 0x40000000u));
        const int n = _read(m_fd, out + got, piece);
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
        if (static_cast<unsigned>(n) < piece) {
            break;
        }
    }
    return 0;
}

bool CrtFile::PrepareReadAt() {
    if (m_readAtHandle != nullptr) {
        return true;
    }
    if (m_fd < 0) {
        return false;
    }
    // Reads with an offset move a synchronous handle's file pointer, which the runtime's own
    // reads rely on: ReadAt reads through a second handle of the same open file.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    HANDLE second = ReOpenFile(handle, GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (second == INVALID_HANDLE_VALUE) {
        return false;
    }
    m_readAtHandle = second;
    return true;
}

int CrtFile::ReadAt(void* buffer, size_t count, int64_t offset, size_t& got) const {
    got = 0;
    if (m_readAtHandle == nullptr) {
        return EBADF;
    }
    auto* out = static_cast<char*>(buffer);
    while (got < count) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(count - got, 0x40000000u));
        const uint64_t at = static_cast<uint64_t>(offset) + got;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD n = 0;
        if (!ReadFile(static_cast<HANDLE>(m_readAtHandle), out + got, piece, &n, &where)) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            return EIO;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return 0;
}

int CrtFile::Write(const void* buffer, size_t count, size_t& put) {
    put = 0;
    if (m_fd < 0) {
        return EBADF;
    }
    const auto* in = static_cast<const char*>(buffer);
    while (put < count) {
        const unsigned piece = static_cast<unsigned>(std::min<size_t>(count - put, 0x40000000u));
        const int n = _write(m_fd, in + put, piece);
        if (n < 0) {
            return errno;
        }
        put += static_cast<size_t>(n);
        if (static_cast<unsigned>(n) < piece) {
            // The runtime writes short only when the disk is full; say so to whoever asks
            // the system, as a failed WriteFile would.
            SetLastError(ERROR_DISK_FULL);
            return ENOSPC;
        }
    }
    return 0;
}

int CrtFile::Seek(int64_t offset, int origin, int64_t& position) {
    if (m_fd < 0) {
        return EBADF;
    }
    const int64_t at = _lseeki64(m_fd, offset, origin);
    if (at < 0) {
        return errno;
    }
    position = at;
    return 0;
}

int CrtFile::Length(int64_t& length) {
    if (m_fd < 0) {
        return EBADF;
    }
    const int64_t size = _filelengthi64(m_fd);
    if (size < 0) {
        return errno;
    }
    length = size;
    return 0;
}

int CrtFile::SetLength(int64_t length) {
    if (m_fd < 0) {
        return EBADF;
    }
    return _chsize_s(m_fd, length);
}

int CrtFile::Commit() {
    if (m_fd < 0) {
        return EBADF;
    }
    return _commit(m_fd) == 0 ? 0 : errno;
}

int CrtFile::Close() {
    if (m_readAtHandle != nullptr) {
        CloseHandle(static_cast<HANDLE>(m_readAtHandle));
        m_readAtHandle = nullptr;
    }
    if (m_fd < 0) {
        return EBADF;
    }
    const int result = _close(m_fd);
    m_fd = -1;
    return result == 0 ? 0 : errno;
}

bool CrtFile::SetModificationTime(int64_t seconds) {
    if (m_fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    if (handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const FILETIME time = win32::FileTimeFromUnix(seconds);
    return SetFileTime(handle, nullptr, nullptr, &time) != 0;
}

}  // namespace platform
