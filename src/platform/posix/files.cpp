// File and folder services of the simulated machine with Windows semantics. Read-only is
// the missing owner write bit, checked here because the host lets root write anyway;
// hidden, system and archive live in the user.DOSATTRIB extended attribute as "0x%x" text
// (the convention of Samba and Wine); files without it count as archive, as new files on
// Windows do.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/internal.h"
#include "platform/text.h"

namespace platform {

using namespace platform::posix;

namespace {

constexpr const char* kDosAttribute = "user.DOSATTRIB";
constexpr uint32_t kStoredBits = kAttrHidden | kAttrSystem | kAttrArchive;

bool Fail(uint32_t code) {
    SetLastErrorCode(code);
    return false;
}

bool FailErrno(int hostErrno) {
    return Fail(Win32FromErrno(hostErrno));
}

// A failed C runtime call: the runtime's errno value, with the system's own last error left
// behind as Windows' runtime leaves it (a full disk is 112 there, not only ENOSPC).
int CrtFail(int hostErrno) {
    SetLastErrorCode(Win32FromErrno(hostErrno));
    return CrtFromErrno(hostErrno);
}

uint32_t MissingCode(const HostPath& p) {
    return p.parentExists ? kErrorFileNotFound : kErrorPathNotFound;
}

// Resolves a path that must exist and reads its status; false with LastError 2 or 3 (or
// the error of the resolution).
bool ResolveExisting(const std::string& path, HostPath& p, struct stat& st) {
    if (!Resolve(path, p)) {
        return false;
    }
    if (!p.exists) {
        return Fail(MissingCode(p));
    }
    if (p.statusValid) {
        st = p.status;  // the resolution's own look-up of a path that is no link
    } else if (stat(p.host.c_str(), &st) != 0) {
        return Fail(MissingCode(p));
    }
    return true;
}

bool IsReadOnlyMode(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

// The stored DOS bits of a host path; `present` tells whether the attribute exists.
uint32_t StoredBits(const std::string& host, bool& present) {
    char value[32] = {};
    const ssize_t n = getxattr(host.c_str(), kDosAttribute, value, sizeof value - 1);
    present = n > 0;
    if (n <= 0) {
        return 0;
    }
    return static_cast<uint32_t>(std::strtoul(value, nullptr, 16)) & kStoredBits;
}

uint32_t AttributesOf(const std::string& host, const struct stat& st) {
    bool present = false;
    uint32_t attrs = StoredBits(host, present);
    if (S_ISDIR(st.st_mode)) {
        attrs |= kAttrDirectory;
    } else if (!present) {
        attrs |= kAttrArchive;
    }
    if (IsReadOnlyMode(st.st_mode)) {
        attrs |= kAttrReadOnly;
    }
    return attrs == 0 ? kAttrNormal : attrs;
}

bool StoreBits(const std::string& host, uint32_t bits) {
    char value[16];
    std::snprintf(value, sizeof value, "0x%x", bits & kStoredBits);
    return setxattr(host.c_str(), kDosAttribute, value, std::char_traits<char>::length(value), 0) ==
           0;
}

bool SetReadOnly(const std::string& host, const struct stat& st, bool readOnly) {
    mode_t mode = st.st_mode & 07777;
    if (readOnly) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        mode |= S_IWUSR;
    }
    return mode == (st.st_mode & 07777) || chmod(host.c_str(), mode) == 0;
}

int64_t Seconds(const struct timespec& ts) {
    return static_cast<int64_t>(ts.tv_sec);
}

// Share modes: every open of a file holds shared OFD byte locks, far beyond any data, on
// a separate read-only descriptor: one byte for each access it has and each access it
// denies. An open is refused when another open denies its access or has an access it
// denies, as CreateFileW does.
constexpr off_t kShareBase = static_cast<off_t>(1) << 62;
// Writing and denying writes, the bytes of an extracted file and of a package opened for
// updating, lie side by side, so that one lock call takes them.
enum ShareByte : off_t { kHasRead = 0, kHasWrite = 1, kDeniesWrite = 2, kDeniesRead = 3 };
constexpr off_t kShareBytes = 4;

// True when another open holds any of `count` bytes from `first`.
bool BytesHeld(int fd, off_t first, off_t count) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kShareBase + first;
    probe.l_len = count;
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0) {
        return false;
    }
    return probe.l_type != F_UNLCK;
}

bool ByteHeld(int fd, off_t which) {
    return BytesHeld(fd, which, 1);
}

// Holds the bytes from `first` for `count` bytes.
bool HoldBytes(int fd, off_t first, off_t count) {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kShareBase + first;
    lock.l_len = count;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool HoldByte(int fd, off_t which) {
    return HoldBytes(fd, which, 1);
}

// Holds the bytes whose bits are set in `mask` (bit n: byte n), one call per run.
void HoldByteMask(int fd, unsigned mask) {
    for (off_t first = 0; first < kShareBytes;) {
        if ((mask & (1u << first)) == 0) {
            ++first;
            continue;
        }
        off_t end = first;
        while (end < kShareBytes && (mask & (1u << end)) != 0) {
            ++end;
        }
        HoldBytes(fd, first, end - first);
        first = end;
    }
}

// The share-mode descriptor of a copy's source: CopyFileW opens the source for reading, so
// another open that denies reading refuses the copy with a sharing violation, and while the
// copy reads, no open that denies reading gets in. Closed with the object.
class SourceReadShare {
public:
    explicit SourceReadShare(const std::string& host)
        : m_fd(open(host.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (m_fd < 0) {
            return;
        }
        flock(m_fd, LOCK_EX);
        m_denied = ByteHeld(m_fd, kDeniesRead);
        if (!m_denied) {
            HoldByte(m_fd, kHasRead);
        }
        flock(m_fd, LOCK_UN);
    }
    ~SourceReadShare() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    SourceReadShare(const SourceReadShare&) = delete;
    SourceReadShare& operator=(const SourceReadShare&) = delete;

    /// True when another open of the source denies reading it.
    bool Denied() const { return m_denied; }
    /// The descriptor (read-only), -1 when the source could not be opened; the copy reads
    /// through it, which saves a second open.
    int Descriptor() const { return m_fd; }

private:
    int m_fd;               // lock descriptor, -1 when the source could not be opened
    bool m_denied = false;  // another open holds the deny-read byte
};

// Copies what is left of `in` to `out`; 0, or the errno value of the failure. The kernel
// copies without our buffer where it can (copy_file_range: no copy through user memory, and
// a shared extent on file systems that have them); else read and write through a buffer
// kept by the thread.
int CopyContents(int in, int out) {
    bool nothingCopied = true;
    for (;;) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
        if (n > 0) {
            nothingCopied = false;  // its errors from here on are real ones
            continue;
        }
        if (n == 0) {
            return 0;
        }
        const int e = errno;
        if (e == EINTR) {
            continue;
        }
        if (!nothingCopied || (e != EXDEV && e != ENOSYS && e != EOPNOTSUPP && e != EINVAL &&
                               e != EBADF && e != EPERM)) {
            return e;
        }
        break;  // not for these two files: nothing was written yet, so copy by hand
    }
    constexpr size_t kBufferSize = size_t{1} << 20;
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) {
        buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    }
    for (;;) {
        const ssize_t n = read(in, buffer.get(), kBufferSize);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return 0;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = write(out, buffer.get() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                return w < 0 ? errno : ENOSPC;
            }
            done += w;
        }
    }
}

// Reads `count` bytes into `out` or up to the end, through `piece(to, wanted, done)`, a
// read or pread; 0, or the C runtime's errno value of the failure.
template <typename Piece>
int ReadUntil(char* out, size_t count, size_t& got, Piece piece) {
    while (got < count) {
        const ssize_t n = piece(out + got, count - got, got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return CrtFail(errno);
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return kErrnoNone;
}

// True when some open of the file is in the way of deleting it (the C runtime never lets
// others delete a file it holds open).
bool FileIsOpen(const std::string& host) {
    const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    const bool open = BytesHeld(fd, kHasRead, 2);  // reading or writing, in one call
    close(fd);
    return open;
}

}  // namespace

uint32_t FileAttributes(const std::string& path) {
    HostPath p;
    struct stat st {};
    if (!ResolveExisting(path, p, st)) {
        return kInvalidAttributes;
    }
    SetLastErrorCode(kErrorSuccess);
    return AttributesOf(p.host, st);
}

bool ChangeFileAttributes(const std::string& path, uint32_t attributes) {
    HostPath p;
    struct stat st {};
    if (!ResolveExisting(path, p, st)) {
        return false;
    }
    const uint32_t wanted = attributes == kAttrNormal ? 0 : attributes;
    if (!StoreBits(p.host, wanted) && errno != ENOTSUP) {
        return FailErrno(errno);
    }
    if (!SetReadOnly(p.host, st, (wanted & kAttrReadOnly) != 0)) {
        return FailErrno(errno);
    }
    SetLastErrorCode(kErrorSuccess);
    return true;
}

bool FileExists(const std::string& path) {
    HostPath p;
    if (!Resolve(path, p)) {
        return false;
    }
    if (!p.exists) {
        SetLastErrorCode(MissingCode(p));
        return false;
    }
    return true;
}

bool ReadFileStatus(const std::string& path, FileStatus& status) {
    HostPath p;
    struct stat st {};
    if (!ResolveExisting(path, p, st)) {
        return false;
    }
    status.modified = Seconds(st.st_mtim);
    status.created = Seconds(st.st_ctim);
    status.accessed = Seconds(st.st_atim);
    status.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    status.attributes = AttributesOf(p.host, st);
    SetLastErrorCode(kErrorSuccess);
    return true;
}

bool MakeFolder(const std::string& path) {
    HostPath p;
    if (!Resolve(path, p)) {
        return false;
    }
    if (p.exists) {
        return Fail(kErrorAlreadyExists);
    }
    if (!p.parentExists) {
        return Fail(kErrorPathNotFound);
    }
    if (mkdir(p.host.c_str(), 0777) != 0) {
        return FailErrno(errno == ENOENT ? ENOTDIR : errno);
    }
    NoteNameAdded(p.host);
    SetLastErrorCode(kErrorSuccess);
    return true;
}

bool RemoveFolder(const std::string& path) {
    HostPath p;
    struct stat st {};
    if (!ResolveExisting(path, p, st)) {
        return false;
    }
    if (p.isRoot) {
        return Fail(kErrorAccessDenied);
    }
    if (!S_ISDIR(st.st_mode)) {
        return Fail(kErrorDirectory);
    }
    if (IsReadOnlyMode(st.st_mode)) {
        return Fail(kErrorAccessDenied);
    }
    std::string current;
    HostPath cur;
    if (CurrentFolder(current) && Resolve(current, cur) && cur.host == p.host) {
        return Fail(kErrorSharingViolation);
    }
    if (rmdir(p.host.c_str()) != 0) {
        return FailErrno(errno);
    }
    NoteNameRemoved(p.host);
    NoteFoldersChanged();
    SetLastErrorCode(kErrorSuccess);
    return true;
}

bool RemoveFile(const std::string& path) {
    HostPath p;
    if (!Resolve(path, p)) {
        return false;
    }
    struct stat st {};
    if (p.exists && p.statusValid) {
        st = p.status;
    } else if (!p.exists || lstat(p.host.c_str(), &st) != 0) {
        return Fail(MissingCode(p));
    }
    if (S_ISDIR(st.st_mode) || IsReadOnlyMode(st.st_mode)) {
        return Fail(kErrorAccessDenied);
    }
    if (FileIsOpen(p.host)) {
        return Fail(kErrorSharingViolation);
    }
    if (unlink(p.host.c_str()) != 0) {
        return FailErrno(errno);
    }
    NoteNameRemoved(p.host);
    SetLastErrorCode(kErrorSuccess);
    return true;
}

bool CopyOneFile(const std::string& source, const std::string& target, bool failIfExists) {
    HostPath from;
    HostPath to;
    if (!Resolve(source, from) || !Resolve(target, to)) {
        return false;
    }
    struct stat st {};
    if (!from.exists || stat(from.host.c_str(), &st) != 0) {
        return Fail(MissingCode(from));
    }
    if (S_ISDIR(st.st_mode)) {
        return Fail(kErrorAccessDenied);
    }
    if (to.exists) {
        if (failIfExists) {
            return Fail(kErrorFileExists);
        }
        struct stat tst {};
        if (stat(to.host.c_str(), &tst) == 0) {
            bool present = false;
            const uint32_t bits = StoredBits(to.host, present);
            if (S_ISDIR(tst.st_mode) || IsReadOnlyMode(tst.st_mode) ||
                (bits & (kAttrHidden | kAttrSystem)) != 0) {
                return Fail(kErrorAccessDenied);
            }
        }
        // The copy writes the target through a handle that shares nothing: any open of it
        // is in the way.
        if (FileIsOpen(to.host)) {
            return Fail(kErrorSharingViolation);
        }
    } else if (!to.parentExists) {
        return Fail(kErrorPathNotFound);
    }
    const SourceReadShare share(from.host);
    if (share.Denied()) {
        return Fail(kErrorSharingViolation);
    }
    const int in = share.Descriptor();
    if (in < 0) {
        return FailErrno(errno);
    }
    const int out = open(to.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        return FailErrno(errno);
    }
    if (!to.exists) {
        NoteNameAdded(to.host);
    }
    const int failure = CopyContents(in, out);
    const bool ok = failure == 0;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out, times);
    close(out);
    if (!ok) {
        unlink(to.host.c_str());
        NoteNameRemoved(to.host);
        return FailErrno(failure);
    }
    // The copy carries the source's attributes, with archive set as Windows sets it.
    bool present = false;
    const uint32_t bits = StoredBits(from.host, present);
    StoreBits(to.host, bits | kAttrArchive);
    if (IsReadOnlyMode(st.st_mode)) {
        struct stat now {};
        if (stat(to.host.c_str(), &now) == 0) {
            SetReadOnly(to.host, now, true);
        }
    }
    SetLastErrorCode(kErrorSuccess);
    return true;
}

namespace {

// MoveFileExW: renames on one drive; an existing target is replaced only with `replace`
// (and never when it is a folder, read-only or open elsewhere).
bool RenameFile(const std::string& source, const std::string& target, bool replace) {
    HostPath from;
    HostPath to;
    if (!Resolve(source, from) || !Resolve(target, to)) {
        return false;
    }
    if (!from.exists) {
        return Fail(MissingCode(from));
    }
    if (!to.parentExists) {
        return Fail(kErrorPathNotFound);
    }
    if (from.drive != to.drive) {
        return Fail(17);  // ERROR_NOT_SAME_DEVICE
    }
    if (to.exists && to.host != from.host) {
        if (!replace) {
            return Fail(kErrorAlreadyExists);
        }
        struct stat tst {};
        if (stat(to.host.c_str(), &tst) == 0 &&
            (S_ISDIR(tst.st_mode) || IsReadOnlyMode(tst.st_mode))) {
            return Fail(kErrorAccessDenied);
        }
        if (FileIsOpen(to.host)) {
            return Fail(kErrorSharingViolation);
        }
    }
    if (rename(from.host.c_str(), to.host.c_str()) != 0) {
        return FailErrno(errno);
    }
    NoteFoldersChanged();
    NoteNameRemoved(from.host);
    NoteNameAdded(to.host);
    SetLastErrorCode(kErrorSuccess);
    return true;
}

}  // namespace

bool MoveOneFile(const std::string& source, const std::string& target) {
    return RenameFile(source, target, false);
}

bool ReplaceOneFile(const std::string& source, const std::string& target) {
    return RenameFile(source, target, true);
}

// ---- enumeration ----

struct FileFinder::State {
    std::vector<FindData> entries;  // the whole listing, in order
    size_t next = 0;                // index of the entry Next answers
};

FileFinder::FileFinder() = default;

FileFinder::~FileFinder() {
    Close();
}

void FileFinder::Close() {
    m_state.reset();
}

bool FileFinder::First(const std::string& pattern, FindData& data) {
    Close();
    std::string normal = pattern;
    std::replace(normal.begin(), normal.end(), '/', '\\');
    const auto slash = normal.rfind('\\');
    std::string folder;
    std::string mask;
    if (slash == std::string::npos) {
        if (normal.size() >= 2 && normal[1] == ':') {
            folder = normal.substr(0, 2);
            mask = normal.substr(2);
        } else {
            folder = ".";
            mask = normal;
        }
    } else {
        folder = normal.substr(0, slash + 1);
        mask = normal.substr(slash + 1);
    }
    if (mask.empty()) {
        return Fail(kErrorFileNotFound);
    }
    HostPath dir;
    if (!Resolve(folder, dir)) {
        return false;
    }
    struct stat st {};
    if (!dir.exists || stat(dir.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return Fail(kErrorPathNotFound);
    }
    DIR* d = opendir(dir.host.c_str());
    if (d == nullptr) {
        return FailErrno(errno);
    }
    std::vector<FindData> found;
    const std::string base = dir.host == "/" ? "" : dir.host;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (!MatchesPattern(name, mask)) {
            continue;
        }
        struct stat est {};
        const std::string host = base + "/" + name;
        if (stat(host.c_str(), &est) != 0) {
            continue;  // a dangling link is not a file Windows would list
        }
        FindData entry;
        entry.name = name;
        entry.attributes = AttributesOf(host, est);
        entry.size = S_ISDIR(est.st_mode) ? 0 : static_cast<uint64_t>(est.st_size);
        entry.modified = Seconds(est.st_mtim);
        found.push_back(std::move(entry));
    }
    closedir(d);
    std::sort(found.begin(), found.end(), [](const FindData& a, const FindData& b) {
        return CompareNamesNoCase(a.name, b.name) < 0;
    });
    auto state = std::make_unique<State>();
    if (!dir.isRoot) {
        for (const char* dot : {".", ".."}) {
            if (MatchesPattern(dot, mask)) {
                FindData entry;
                entry.name = dot;
                entry.attributes = AttributesOf(dir.host, st);
                entry.modified = Seconds(st.st_mtim);
                state->entries.push_back(entry);
            }
        }
    }
    state->entries.insert(state->entries.end(), found.begin(), found.end());
    m_state = std::move(state);
    if (m_state->entries.empty()) {
        Close();
        return Fail(kErrorFileNotFound);
    }
    data = m_state->entries[0];
    m_state->next = 1;
    SetLastErrorCode(kErrorSuccess);
    return true;
}

bool FileFinder::Next(FindData& data) {
    if (m_state == nullptr) {
        return Fail(kErrorInvalidHandle);
    }
    if (m_state->next >= m_state->entries.size()) {
        return Fail(kErrorNoMoreFiles);
    }
    data = m_state->entries[m_state->next++];
    SetLastErrorCode(kErrorSuccess);
    return true;
}

// ---- drives ----

uint32_t LogicalDrives() {
    uint32_t mask = 0;
    for (const Drive& drive : Machine().drives) {
        mask |= 1u << (drive.letter - 'A');
    }
    return mask;
}

unsigned DriveTypeOf(const std::string& root) {
    if (root.size() < 2 || root[1] != ':') {
        return kDriveNoRootDir;
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
    for (const Drive& drive : Machine().drives) {
        if (drive.letter == letter) {
            return drive.type;
        }
    }
    return kDriveNoRootDir;
}

// ---- C runtime descriptors ----

int CrtFile::Open(const std::string& path, int flags, int share) {
    if (m_fd >= 0) {
        Close();
    }
    // The C runtime opens through the system, which leaves its own last error as well.
    const auto fail = [](int crtErrno, uint32_t win32) {
        SetLastErrorCode(win32);
        return crtErrno;
    };
    HostPath p;
    if (!Resolve(path, p)) {
        return LastError() == kErrorInvalidName ? kErrnoInval : kErrnoNoEnt;
    }
    const uint32_t missing = MissingCode(p);
    const int access = flags & 3;
    const bool wantsRead = access == kRead || access == kReadWrite;
    const bool wantsWrite = access == kWrite || access == kReadWrite;
    struct stat st {};
    bool exists = false;
    if (p.exists && p.statusValid) {
        st = p.status;
        exists = true;
    } else if (p.exists) {
        exists = stat(p.host.c_str(), &st) == 0;
    }
    if (exists) {
        if (S_ISDIR(st.st_mode)) {
            return fail(kErrnoAccess, kErrorAccessDenied);
        }
        if ((flags & kCreate) && (flags & kExclusive)) {
            return fail(kErrnoExist, kErrorFileExists);
        }
        if ((wantsWrite || (flags & kTruncate)) && IsReadOnlyMode(st.st_mode)) {
            return fail(kErrnoAccess, kErrorAccessDenied);
        }
    } else if (!(flags & kCreate) || !p.parentExists) {
        return fail(kErrnoNoEnt, (flags & kCreate) ? kErrorPathNotFound : missing);
    }
    // The descriptor carries the share-mode locks as well, which need it readable: a
    // write-only open is read-write on the host and refuses reading itself. Only a file
    // that the host will not open for reading gets a separate lock descriptor.
    int fd = -1;
    bool created = false;
    bool writeOnlyHost = false;
    const int hostAccess = wantsWrite ? O_RDWR : O_RDONLY;
    if (!exists && (flags & kCreate)) {
        // A name found missing is created as new, which tells that nothing needs truncating;
        // if another program made it meanwhile, it is opened as it is below.
        fd = open(p.host.c_str(), hostAccess | O_CLOEXEC | O_CREAT | O_EXCL, 0666);
        created = fd >= 0;
        if (fd < 0 && (errno != EEXIST || (flags & kExclusive))) {
            const int e = errno;
            return fail(CrtFromErrno(e), Win32FromErrno(e));
        }
    }
    if (fd < 0) {
        const int create = (flags & kCreate) ? O_CREAT : 0;
        fd = open(p.host.c_str(), hostAccess | O_CLOEXEC | create, 0666);
        if (fd < 0 && errno == EACCES && wantsWrite && !wantsRead) {
            fd = open(p.host.c_str(), O_WRONLY | O_CLOEXEC | create, 0666);
            writeOnlyHost = fd >= 0;
        }
        if (fd < 0) {
            const int e = errno;
            return fail(CrtFromErrno(e), Win32FromErrno(e));
        }
    }
    // Share modes, checked and taken under a short whole-file lock.
    const int lockFd = writeOnlyHost ? open(p.host.c_str(), O_RDONLY | O_CLOEXEC) : fd;
    if (lockFd >= 0) {
        flock(lockFd, LOCK_EX);
        const int deny = share & 0x70;
        const bool deniesRead = deny == kDenyReadWrite || deny == kDenyRead;
        const bool deniesWrite = deny == kDenyReadWrite || deny == kDenyWrite;
        // One probe of all the bytes answers the usual case: no other open at all.
        const bool conflict =
            BytesHeld(lockFd, 0, kShareBytes) && ((wantsRead && ByteHeld(lockFd, kDeniesRead)) ||
                                                  (wantsWrite && ByteHeld(lockFd, kDeniesWrite)) ||
                                                  (deniesRead && ByteHeld(lockFd, kHasRead)) ||
                                                  (deniesWrite && ByteHeld(lockFd, kHasWrite)));
        if (conflict) {
            flock(lockFd, LOCK_UN);
            if (lockFd != fd) {
                close(lockFd);
            }
            close(fd);
            return fail(kErrnoAccess, kErrorSharingViolation);
        }
        HoldByteMask(lockFd, (wantsRead ? 1u << kHasRead : 0u) |
                                 (wantsWrite ? 1u << kHasWrite : 0u) |
                                 (deniesRead ? 1u << kDeniesRead : 0u) |
                                 (deniesWrite ? 1u << kDeniesWrite : 0u));
        flock(lockFd, LOCK_UN);
    }
    if ((flags & kTruncate) && access != kRead && !created && ftruncate(fd, 0) != 0) {
        const int e = errno;
        close(fd);
        if (lockFd >= 0 && lockFd != fd) {
            close(lockFd);
        }
        return fail(CrtFromErrno(e), Win32FromErrno(e));
    }
    if (!exists) {
        NoteNameAdded(p.host);
    }
    m_fd = fd;
    m_shareLock = lockFd != fd ? lockFd : -1;
    m_writeOnly = wantsWrite && !wantsRead;
    SetLastErrorCode(kErrorSuccess);
    return kErrnoNone;
}

int CrtFile::Read(void* buffer, size_t count, size_t& got) {
    got = 0;
    if (m_fd < 0 || m_writeOnly) {
        return kErrnoBadF;
    }
    return ReadUntil(static_cast<char*>(buffer), count, got,
                     [this](char* out, size_t wanted, size_t) { return read(m_fd, out, wanted); });
}

bool CrtFile::PrepareReadAt() {
    return m_fd >= 0 && !m_writeOnly;  // pread leaves the descriptor's offset alone
}

int CrtFile::ReadAt(void* buffer, size_t count, int64_t offset, size_t& got) const {
    got = 0;
    if (m_fd < 0 || m_writeOnly) {
        return kErrnoBadF;
    }
    return ReadUntil(static_cast<char*>(buffer), count, got,
                     [this, offset](char* out, size_t wanted, size_t done) {
                         return pread(m_fd, out, wanted, static_cast<off_t>(offset + done));
                     });
}

int CrtFile::Write(const void* buffer, size_t count, size_t& put) {
    put = 0;
    if (m_fd < 0) {
        return kErrnoBadF;
    }
    const char* in = static_cast<const char*>(buffer);
    while (put < count) {
        const ssize_t n = write(m_fd, in + put, count - put);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return CrtFail(errno);
        }
        if (n == 0) {
            SetLastErrorCode(kErrorDiskFull);
            return kErrnoNoSpc;
        }
        put += static_cast<size_t>(n);
    }
    return kErrnoNone;
}

int CrtFile::Seek(int64_t offset, int origin, int64_t& position) {
    if (m_fd < 0) {
        return kErrnoBadF;
    }
    const int whence = origin == 0 ? SEEK_SET : (origin == 1 ? SEEK_CUR : SEEK_END);
    if (origin < 0 || origin > 2) {
        return kErrnoInval;
    }
    const off_t result = lseek(m_fd, static_cast<off_t>(offset), whence);
    if (result < 0) {
        return CrtFail(errno);
    }
    position = static_cast<int64_t>(result);
    return kErrnoNone;
}

int CrtFile::Length(int64_t& length) {
    if (m_fd < 0) {
        return kErrnoBadF;
    }
    struct stat st {};
    if (fstat(m_fd, &st) != 0) {
        return CrtFail(errno);
    }
    length = static_cast<int64_t>(st.st_size);
    return kErrnoNone;
}

int CrtFile::SetLength(int64_t length) {
    if (m_fd < 0) {
        return kErrnoBadF;
    }
    if (length < 0) {
        return kErrnoInval;
    }
    return ftruncate(m_fd, static_cast<off_t>(length)) == 0 ? kErrnoNone : CrtFail(errno);
}

int CrtFile::Commit() {
    if (m_fd < 0) {
        return kErrnoBadF;
    }
    return fsync(m_fd) == 0 ? kErrnoNone : CrtFail(errno);
}

int CrtFile::Close() {
    if (m_fd < 0) {
        return kErrnoBadF;
    }
    const int result = close(m_fd);
    const int e = errno;
    m_fd = -1;
    if (m_shareLock >= 0) {
        close(m_shareLock);
        m_shareLock = -1;
    }
    return result == 0 ? kErrnoNone : CrtFail(e);
}

bool CrtFile::SetModificationTime(int64_t seconds) {
    if (m_fd < 0) {
        return Fail(kErrorInvalidHandle);
    }
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    if (futimens(m_fd, times) != 0) {
        return FailErrno(errno);
    }
    SetLastErrorCode(kErrorSuccess);
    return true;
}

bool LibraryFilePath(const std::string& path, std::string& libraryPath) {
    HostPath resolved;
    if (!Resolve(path, resolved)) {
        return false;
    }
    libraryPath = resolved.host;
    return true;
}

}  // namespace platform
