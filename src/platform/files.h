// File and folder services with Windows semantics: Windows paths (drive letter,
// backslashes, "\\?\" prefix allowed), names without regard to case, attribute bits,
// enumeration with "." and "..", read-only files refused even to an administrator.
// Failures leave a Win32 code in LastError() (errors.h); the descriptor-style CrtFile
// reports C runtime errno values instead (crt_errno.h), as the C runtime does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

/// File attribute bits (FILE_ATTRIBUTE_*).
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
/// What FileAttributes answers when the path cannot be read (INVALID_FILE_ATTRIBUTES).
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

/// GetFileAttributesW: the attribute bits, or kInvalidAttributes with LastError 2 or 3.
uint32_t FileAttributes(const std::string& path);

/// SetFileAttributesW: sets read-only, hidden, system and archive (kAttrNormal clears all).
/// The directory bit cannot be changed. False with LastError on failure.
bool ChangeFileAttributes(const std::string& path, uint32_t attributes);

/// _waccess with mode 0: true when a file or folder exists at the path.
bool FileExists(const std::string& path);

/// The path under which a library that opens files by itself (SQLite) reaches the file or
/// folder at a Windows path: the path itself on Windows, the host path on the simulated
/// machine. False with LastError 3 (unknown drive) or 123 (invalid name).
bool LibraryFilePath(const std::string& path, std::string& libraryPath);

/// What CFile::GetStatus reports of a file or folder; times are seconds since 1970 UTC.
struct FileStatus {
    int64_t modified = 0;     // last write time
    int64_t created = 0;      // creation time (the host's change time on POSIX)
    int64_t accessed = 0;     // last access time
    uint64_t size = 0;        // bytes; 0 for folders
    uint32_t attributes = 0;  // as FileAttributes
};

/// CFile::GetStatus: false with LastError when the path cannot be read.
bool ReadFileStatus(const std::string& path, FileStatus& status);

/// CreateDirectoryW: one folder; its parent must exist. 183 when the name exists.
bool MakeFolder(const std::string& path);

/// RemoveDirectoryW: an empty folder that is not read-only; 145 when not empty,
/// 5 when read-only, 267 when the path is a file.
bool RemoveFolder(const std::string& path);

/// DeleteFileW: a file; 5 when read-only or a folder, 2 or 3 when missing.
bool RemoveFile(const std::string& path);

/// CopyFileW: copies contents, attributes and modification time. With failIfExists an
/// existing target gives 80; otherwise a read-only or hidden target gives 5. A source that
/// another open denies reading (a share mode) gives 32.
bool CopyOneFile(const std::string& source, const std::string& target, bool failIfExists);

/// MoveFileW: renames a file or folder on the same drive.
bool MoveOneFile(const std::string& source, const std::string& target);

/// MoveFileExW with MOVEFILE_REPLACE_EXISTING: renames a file over an existing one in one
/// step (the target is never missing meanwhile); 5 when the target is read-only or a folder.
bool ReplaceOneFile(const std::string& source, const std::string& target);

/// One entry of an enumeration (WIN32_FIND_DATAW).
struct FindData {
    std::string name;         // the entry's name as stored
    uint32_t attributes = 0;  // as FileAttributes
    uint64_t size = 0;        // bytes; 0 for folders
    int64_t modified = 0;     // seconds since 1970 UTC
};

/// FindFirstFileW / FindNextFileW / FindClose. The pattern is a folder path followed by a
/// name pattern with * and ?. Entries come in the order NTFS lists them (names compared
/// without regard to case); "." and ".." come first except at a drive root.
class FileFinder {
public:
    // Defined where State is complete: an inline constructor would need ~unique_ptr<State>.
    FileFinder();
    ~FileFinder();
    FileFinder(const FileFinder&) = delete;
    FileFinder& operator=(const FileFinder&) = delete;

    /// Starts an enumeration; false with LastError 2 (no match) or 3 (no such folder).
    bool First(const std::string& pattern, FindData& data);
    /// The next entry; false with LastError 18 at the end.
    bool Next(FindData& data);
    /// Ends the enumeration (also done by the destructor).
    void Close();

private:
    struct State;
    std::unique_ptr<State> m_state;  // the listing; null when closed
};

/// GetCurrentDirectoryW: the process's Windows current folder (no trailing backslash
/// except at a drive root).
bool CurrentFolder(std::string& folder);

/// SetCurrentDirectoryW: 2 or 3 when the folder does not exist, 267 for a file.
bool ChangeCurrentFolder(const std::string& folder);

/// GetLogicalDrives: bit 0 is drive A.
uint32_t LogicalDrives();

/// GetDriveTypeW values.
enum DriveType : unsigned {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdrom = 5,
    kDriveRamdisk = 6,
};

/// GetDriveTypeW for a root such as "C:\"; kDriveNoRootDir for a letter the machine lacks.
unsigned DriveTypeOf(const std::string& root);

/// A C runtime file descriptor (_wsopen_s and friends). Every operation answers 0 or the
/// C runtime's errno value (crt_errno.h); the destructor closes an open descriptor.
class CrtFile {
public:
    /// Open flags (_O_*), combined with one access value.
    static constexpr int kRead = 0x0000;       // _O_RDONLY
    static constexpr int kWrite = 0x0001;      // _O_WRONLY
    static constexpr int kReadWrite = 0x0002;  // _O_RDWR
    static constexpr int kCreate = 0x0100;     // _O_CREAT
    static constexpr int kTruncate = 0x0200;   // _O_TRUNC
    static constexpr int kExclusive = 0x0400;  // _O_EXCL
    static constexpr int kBinary = 0x8000;     // _O_BINARY (the only mode there is here)
    /// Share modes (_SH_*).
    static constexpr int kDenyReadWrite = 0x10;
    static constexpr int kDenyWrite = 0x20;
    static constexpr int kDenyRead = 0x30;
    static constexpr int kDenyNone = 0x40;

    CrtFile() = default;
    ~CrtFile() { Close(); }
    CrtFile(const CrtFile&) = delete;
    CrtFile& operator=(const CrtFile&) = delete;
    CrtFile(CrtFile&& other) noexcept
        : m_fd(other.m_fd),
          m_shareLock(other.m_shareLock),
          m_writeOnly(other.m_writeOnly),
          m_readAtHandle(other.m_readAtHandle) {
        other.m_fd = -1;
        other.m_shareLock = -1;
        other.m_readAtHandle = nullptr;
    }
    CrtFile& operator=(CrtFile&& other) noexcept {
        if (this != &other) {
            Close();
            m_fd = other.m_fd;
            m_shareLock = other.m_shareLock;
            m_writeOnly = other.m_writeOnly;
            m_readAtHandle = other.m_readAtHandle;
            other.m_fd = -1;
            other.m_shareLock = -1;
            other.m_readAtHandle = nullptr;
        }
        return *this;
    }

    /// _wsopen_s: EACCES for a read-only file opened for writing, for a folder, or when
    /// the share mode of another open refuses; ENOENT when the file or its folder is missing.
    int Open(const std::string& path, int flags, int share);
    /// _read: `got` receives the bytes read (0 at the end of the file).
    int Read(void* buffer, size_t count, size_t& got);
    /// Makes ReadAt usable on this open file (on Windows a second handle of the same file,
    /// with a file pointer of its own); false when it cannot be. Called again, it does
    /// nothing more.
    bool PrepareReadAt();
    /// Reads at `offset` without moving the position that Read and Seek use, so that another
    /// thread may call it while this one reads and seeks (not while it closes or reopens the
    /// file): after PrepareReadAt. `got` receives the bytes read (short at the file's end).
    int ReadAt(void* buffer, size_t count, int64_t offset, size_t& got) const;
    /// _write: `put` receives the bytes written; ENOSPC when the disk is full.
    int Write(const void* buffer, size_t count, size_t& put);
    /// _lseeki64: origin 0 begin, 1 current, 2 end; `position` receives the new position.
    int Seek(int64_t offset, int origin, int64_t& position);
    /// _filelengthi64 (the position is kept).
    int Length(int64_t& length);
    /// _chsize_s.
    int SetLength(int64_t length);
    /// _commit.
    int Commit();
    /// _close; closing a closed file gives EBADF.
    int Close();
    /// SetFileTime on the open handle, modification time only (seconds since 1970 UTC).
    /// Win32 style: false with LastError.
    bool SetModificationTime(int64_t seconds);
    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;             // host descriptor, -1 when closed
    int m_shareLock = -1;      // descriptor holding the share-mode lock, -1 when none
    bool m_writeOnly = false;  // opened for writing only (the host descriptor may read)
    void* m_readAtHandle = nullptr;  // Windows: the second handle of ReadAt, null when none
};

}  // namespace platform
