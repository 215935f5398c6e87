// Windows paths on the simulated machine: normalising a path, mapping it onto a drive's
// host folder with names matched without regard to case, and the process's current folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/internal.h"
#include "platform/process.h"
#include "platform/text.h"

namespace platform::posix {

namespace {

// The process's Windows current folder; empty until first asked, then the folder of the
// program (as when it is started from the desktop) or the first drive's root.
std::string g_currentFolder;

const Drive* FindDrive(char letter) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const Drive& drive : Machine().drives) {
        if (drive.letter == upper) {
            return &drive;
        }
    }
    return nullptr;
}

bool IsAsciiOnly(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool SameName(std::string_view a, std::string_view b) {
    if (IsAsciiOnly(a) && IsAsciiOnly(b)) {
        if (a.size() != b.size()) {
            return false;
        }
        for (size_t i = 0; i < a.size(); ++i) {
            if (std::toupper(static_cast<unsigned char>(a[i])) !=
                std::toupper(static_cast<unsigned char>(b[i]))) {
                return false;
            }
        }
        return true;
    }
    return SameNameNoCase(a, b);
}

// Folders' names folded for matching without regard to case, kept between look-ups: a name
// that is not stored exactly as written would otherwise cost a listing of its whole folder,
// and an extraction of thousands of new files into one folder a quadratic number of them.
// A listing is trusted while its folder's modification time is the one it was read at; the
// program's own creations and deletions update it (NoteNameAdded, NoteNameRemoved), so that a
// change within the file system's clock tick cannot hide a name.
struct FolderListing {
    struct timespec modified {};                            // the folder's time when read
    std::unordered_map<std::u16string, std::string> names;  // folded name -> stored name
};

constexpr size_t kMaxCachedFolders = 512;
std::unordered_map<std::string, FolderListing> g_listings;  // host folder -> listing

std::u16string FoldName(std::string_view name) {
    std::u16string units = Utf8ToUtf16(name);
    for (char16_t& u : units) {
        u = UpcaseUnit(u);
    }
    return units;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The listing of `dir`, read anew when the folder changed since; null when it cannot be read.
FolderListing* ListingOf(const std::string& dir) {
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) {
        g_listings.erase(dir);
        return nullptr;
    }
    auto found = g_listings.find(dir);
    if (found != g_listings.end() && SameTime(found->second.modified, st.st_mtim)) {
        return &found->second;
    }
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return nullptr;
    }
    if (g_listings.size() >= kMaxCachedFolders) {
        g_listings.clear();
    }
    FolderListing& listing = g_listings[dir];
    listing.names.clear();
    listing.modified = st.st_mtim;
    while (dirent* e = readdir(d)) {
        listing.names.emplace(FoldName(e->d_name), e->d_name);
    }
    closedir(d);
    return &listing;
}

// After a change the program made itself: the folder's new time, and the name added or
// removed, keep its listing exact without reading it again.
void UpdateListing(const std::string& hostPath, bool added) {
    const auto slash = hostPath.rfind('/');
    if (slash == std::string::npos) {
        return;
    }
    const std::string dir = slash == 0 ? "/" : hostPath.substr(0, slash);
    auto found = g_listings.find(dir);
    if (found == g_listings.end()) {
        return;
    }
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) {
        g_listings.erase(found);
        return;
    }
    const std::string name = hostPath.substr(slash + 1);
    if (added) {
        found->second.names.emplace(FoldName(name), name);
    } else {
        found->second.names.erase(FoldName(name));
    }
    found->second.modified = st.st_mtim;
}

// Folders that were found to exist, by their names folded for matching without regard to
// case, each with its name as stored: a path below a known folder costs one look-up of its
// last name instead of one per folder on the way, which for a name nesting thousands of
// folders is the difference between linear and cubic time. The tree is a hint, never the
// answer: a path is taken as existing only when the host finds it through the remembered
// names, and when a look-up below a remembered folder fails in a way that a folder removed
// or renamed by another process explains, the path is resolved again without the hint.
struct KnownFolder {
    std::string stored;  // the name as stored on the host
    std::unordered_map<std::u16string, std::unique_ptr<KnownFolder>> children;
};

constexpr size_t kMaxKnownFolders = 65536;           // then the tree starts again
std::unordered_map<char, KnownFolder> g_knownRoots;  // by drive letter
size_t g_knownCount = 0;

void ForgetKnownFolders() {
    g_knownRoots.clear();
    g_knownCount = 0;
}

KnownFolder* RememberFolder(KnownFolder* parent, std::u16string folded, const std::string& stored) {
    if (g_knownCount >= kMaxKnownFolders) {
        return nullptr;  // the walk goes on without remembering; the next one starts afresh
    }
    auto& slot = parent->children[std::move(folded)];
    if (!slot) {
        slot = std::make_unique<KnownFolder>();
        ++g_knownCount;
    }
    slot->stored = stored;
    return slot.get();
}

// Maps the components of a path below `drive` onto the host. With `useKnown`, the folders
// above the last component are taken from the tree of known folders as far as it reaches.
// `stale` is set when a remembered folder failed to lead anywhere.
void WalkComponents(const Drive* drive, const std::vector<std::string>& parts, bool useKnown,
                    HostPath& out, bool& stale) {
    stale = false;
    out.windows = std::string(1, drive->letter) + ":\\";
    out.isRoot = parts.empty();
    out.exists = false;
    out.parentExists = false;
    out.statusValid = false;
    std::string host = drive->hostRoot == "/" ? "" : drive->hostRoot;
    if (g_knownCount >= kMaxKnownFolders) {
        ForgetKnownFolders();
    }
    KnownFolder* known = &g_knownRoots[drive->letter];
    size_t first = 0;  // first component looked up on the host
    if (useKnown) {
        for (; first + 1 < parts.size(); ++first) {
            const auto child = known->children.find(FoldName(parts[first]));
            if (child == known->children.end()) {
                break;
            }
            known = child->second.get();
            if (first > 0) {
                out.windows += '\\';
            }
            out.windows += parts[first];
            host += "/" + known->stored;
        }
    }
    const size_t remembered = first;  // components taken from the tree
    bool present = true;
    struct stat st {};
    for (size_t i = first; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (i > 0) {
            out.windows += '\\';
        }
        out.windows += part;
        if (!present) {
            host += "/" + part;
            continue;
        }
        const bool last = i + 1 == parts.size();
        const std::string candidate = host + "/" + part;
        std::string stored;
        if (lstat(candidate.c_str(), &st) == 0) {
            stored = part;
        } else {
            const int error = errno;
            const FolderListing* listing = ListingOf(host.empty() ? "/" : host);
            if (i == remembered && remembered > 0 && (error == ENOTDIR || listing == nullptr)) {
                stale = true;  // the remembered parent is gone or no longer a folder
                return;
            }
            if (listing != nullptr) {
                const auto found = listing->names.find(FoldName(part));
                if (found != listing->names.end() &&
                    lstat((host + "/" + found->second).c_str(), &st) == 0) {
                    stored = found->second;
                }
            }
        }
        if (stored.empty()) {
            present = false;
            out.parentExists = last;
            host += "/" + part;
            continue;
        }
        host += "/" + stored;
        bool folder = S_ISDIR(st.st_mode);
        if (S_ISLNK(st.st_mode)) {
            struct stat target {};
            folder = stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        }
        if (last) {
            out.status = st;
            out.statusValid = !S_ISLNK(st.st_mode);
        } else if (!folder) {
            // A file in the middle of a path: nothing below it exists.
            present = false;
            out.parentExists = false;
            continue;
        }
        if (folder && known != nullptr) {
            known = RememberFolder(known, FoldName(part), stored);
        }
    }
    if (host.empty()) {
        host = "/";
    }
    out.host = host;
    out.exists = present;
    if (present) {
        out.parentExists = true;
    }
}

bool HasInvalidCharacter(const std::string& component) {
    for (unsigned char c : component) {
        if (c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
            c == '*') {
            return true;
        }
    }
    return false;
}

std::string DefaultCurrentFolder() {
    std::string module = ModulePath();
    if (module.size() > 2 && module[1] == ':') {
        const auto slash = module.rfind('\\');
        if (slash != std::string::npos && slash > 2) {
            return module.substr(0, slash);
        }
    }
    if (!Machine().drives.empty()) {
        return std::string(1, Machine().drives.front().letter) + ":\\";
    }
    return "C:\\";
}

const std::string& CurrentFolderRef() {
    if (g_currentFolder.empty()) {
        g_currentFolder = DefaultCurrentFolder();
    }
    return g_currentFolder;
}

}  // namespace

void ForgetCurrentFolder() {
    g_currentFolder.clear();
}

void NoteFoldersChanged() {
    ForgetKnownFolders();
}

void NoteNameAdded(const std::string& hostPath) {
    UpdateListing(hostPath, true);
}

void NoteNameRemoved(const std::string& hostPath) {
    UpdateListing(hostPath, false);
}

bool Resolve(const std::string& windowsPath, HostPath& out) {
    out = HostPath{};
    std::string path = windowsPath;
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    bool literal = false;  // "\\?\" paths are taken as written: no dot or blank trimming
    if (path.rfind("\\\\?\\", 0) == 0) {
        if (path.size() >= 8 && SameName(path.substr(4, 4), "UNC\\")) {
            SetLastErrorCode(kErrorBadNetPath);
            return false;
        }
        path = path.substr(4);
        literal = true;
    } else if (path.rfind("\\\\", 0) == 0) {
        SetLastErrorCode(kErrorBadNetPath);
        return false;
    }
    if (path.empty()) {
        SetLastErrorCode(kErrorPathNotFound);
        return false;
    }
    // Make the path absolute: "X:\...", "\..." (root of the current drive), "X:..." and
    // plain relative names (against the current folder).
    const std::string& current = CurrentFolderRef();
    std::string absolute;
    if (path.size() >= 2 && path[1] == ':') {
        if (path.size() >= 3 && path[2] == '\\') {
            absolute = path;
        } else {
            const char letter =
                static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
            if (std::toupper(static_cast<unsigned char>(current[0])) == letter) {
                absolute = current + "\\" + path.substr(2);
            } else {
                absolute = std::string(1, letter) + ":\\" + path.substr(2);
            }
        }
    } else if (path[0] == '\\') {
        absolute = current.substr(0, 2) + path;
    } else {
        absolute = current + "\\" + path;
    }
    const Drive* drive = FindDrive(absolute[0]);
    if (drive == nullptr || !std::isalpha(static_cast<unsigned char>(absolute[0]))) {
        SetLastErrorCode(kErrorPathNotFound);
        return false;
    }
    // Components, with "." and ".." folded as GetFullPathNameW folds them.
    std::vector<std::string> parts;
    size_t pos = 3;
    while (pos <= absolute.size()) {
        size_t next = absolute.find('\\', pos);
        if (next == std::string::npos) {
            next = absolute.size();
        }
        std::string part = absolute.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        if (!literal) {
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) {
                part.pop_back();
            }
            if (part.empty()) {
                continue;
            }
        }
        if (HasInvalidCharacter(part)) {
            SetLastErrorCode(kErrorInvalidName);
            return false;
        }
        parts.push_back(part);
    }
    out.drive = drive;
    bool stale = false;
    WalkComponents(drive, parts, true, out, stale);
    if (stale) {
        ForgetKnownFolders();
        WalkComponents(drive, parts, false, out, stale);
    }
    return true;
}

uint32_t Win32FromErrno(int hostErrno) {
    switch (hostErrno) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return kErrorFileNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return kErrorAccessDenied;
        case EEXIST:
            return kErrorAlreadyExists;
        case ENOTEMPTY:
            return kErrorDirNotEmpty;
        case ENOSPC:
        case EDQUOT:
            return kErrorDiskFull;
        case ENAMETOOLONG:
            return kErrorFilenameTooLong;
        case EMFILE:
        case ENFILE:
            return kErrorTooManyOpenFiles;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EBUSY:
            return kErrorSharingViolation;
        case EBADF:
            return kErrorInvalidHandle;
        default:
            return kErrorInvalidFunction;
    }
}

int CrtFromErrno(int hostErrno) {
    // The Windows C runtime shares the classic numbers up to 34; above that it differs.
    switch (hostErrno) {
        case EROFS:
        case EISDIR:
            return 13;  // the Windows runtime answers EACCES for both
        case ENAMETOOLONG:
            return 38;
        case ENOTEMPTY:
            return 41;
        case EDEADLK:
            return 36;
        case EDQUOT:
            return 28;
        default:
            return hostErrno <= 34 ? hostErrno : 22;
    }
}

std::string EncodeName(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '.' || c == '_' || c == '-') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    if (out.empty() || out[0] == '.') {
        out.insert(0, "%");
    }
    return out;
}

int OpenMarkerFile(const std::string& kind, const std::string& name) {
    const std::string run = RunFolder();
    if (run.empty()) {
        return -1;
    }
    const std::string dir = run + "/" + kind;
    mkdir(dir.c_str(), 0777);
    const std::string file = dir + "/" + EncodeName(name);
    return open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

bool MarkerHeld(const std::string& kind, const std::string& name) {
    const std::string run = RunFolder();
    if (run.empty()) {
        return false;
    }
    const std::string file = run + "/" + kind + "/" + EncodeName(name);
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);  // releases the probe's own lock, if it got one
    return held;
}

}  // namespace platform::posix

namespace platform {

using namespace platform::posix;

bool CurrentFolder(std::string& folder) {
    folder = CurrentFolderRef();
    return true;
}

bool ChangeCurrentFolder(const std::string& folder) {
    HostPath resolved;
    if (!Resolve(folder, resolved)) {
        return false;
    }
    struct stat st {};
    if (!resolved.exists || stat(resolved.host.c_str(), &st) != 0) {
        SetLastErrorCode(resolved.parentExists ? kErrorFileNotFound : kErrorPathNotFound);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastErrorCode(kErrorDirectory);
        return false;
    }
    g_currentFolder = resolved.windows;
    SetLastErrorCode(kErrorSuccess);
    return true;
}

}  // namespace platform
