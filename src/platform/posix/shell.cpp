// Shell links and shell notifications on the simulated machine. A link is the binary Shell
// Link file Windows writes ([MS-SHLLINK]): header, LinkInfo (volume and local path, in the
// ANSI code page and in UTF-16) and the UTF-16 string data, so Windows opens it and lnkinfo
// reads it. No LinkTargetIDList is written: Windows resolves a link by its LinkInfo alone,
// while an item list that differed from what the shell would build for the file (short
// names, item dates) would be taken first and could send the link astray.
// The notification has no desktop to redraw here; it is recorded in run/shell.log.
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/detail/byte_sink.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/internal.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "platform/text.h"

namespace platform {

using namespace platform::posix;

namespace {

// LinkFlags.
constexpr uint32_t kHasLinkInfo = 0x02;
constexpr uint32_t kHasName = 0x04;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kHasIconLocation = 0x40;
constexpr uint32_t kIsUnicode = 0x80;

constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint32_t kLinkInfoHeaderSize = 0x24;  // with the offsets of the UTF-16 paths
constexpr uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr uint32_t kVolumeIdSize = 0x10;  // four fields, then the label
constexpr uint32_t kShowNormal = 1;       // SW_SHOWNORMAL

// 00021401-0000-0000-C000-000000000046 in its on-disk (mixed-endian GUID) form.
constexpr uint8_t kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Seconds between 1601-01-01 (FILETIME's epoch) and 1970-01-01.
constexpr int64_t kFileTimeEpochOffset = 11644473600LL;

long HresultFromWin32(uint32_t code) {
    if (code == 0) {
        code = kErrorInvalidFunction;  // a failure must never read as S_OK
    }
    return static_cast<long>(0x80070000u | (code & 0xFFFFu));
}

using Bytes = detail::ByteSink;

uint64_t FileTimeOf(int64_t unixSeconds) {
    if (unixSeconds <= -kFileTimeEpochOffset) {
        return 0;
    }
    return static_cast<uint64_t>(unixSeconds + kFileTimeEpochOffset) * 10000000ULL;
}

// UTF-8 to the machine's ANSI code page, as WideCharToMultiByte does with its default
// character: what the code page cannot hold becomes '?'.
std::string ToAnsi(const std::string& text) {
    std::string out;
    const std::u16string units = Utf8ToUtf16(text);
    const unsigned codePage = AnsiCodePage();
    const std::string name = codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open(name.c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (char16_t u : units) {
            out.push_back(u < 0x80 ? static_cast<char>(u) : '?');
        }
        return out;
    }
    std::string input;
    for (char16_t u : units) {
        input.push_back(static_cast<char>(u & 0xFF));
        input.push_back(static_cast<char>(u >> 8));
    }
    char* in = input.data();
    size_t inLeft = input.size();
    std::string buffer(input.size() * 2 + 16, '\0');
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // Not in the code page: one '?' for the character (two units for a pair).
            const auto unit = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                                    static_cast<unsigned char>(in[1]) << 8);
            const size_t skip = (unit >= 0xD800 && unit < 0xDC00 && inLeft >= 4) ? 4 : 2;
            out.push_back('?');
            in += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

void PutUtf16z(Bytes& b, const std::u16string& units) {
    for (char16_t u : units) {
        b.U16(u);
    }
    b.U16(0);
}

// A stable serial number per drive, as a formatted volume keeps its own.
uint32_t VolumeSerial(const Drive* drive) {
    uint32_t hash = 2166136261u;  // FNV-1a
    const std::string key = drive ? std::string(1, drive->letter) + drive->hostRoot : "";
    for (unsigned char c : key) {
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

// The Windows path of an existing file with its names as stored, as the shell records a
// target it has found.
std::string StoredWindowsPath(const HostPath& p) {
    const std::string& root = p.drive->hostRoot;
    std::string rest = p.host.substr(root == "/" ? 0 : root.size());
    for (char& c : rest) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (rest.empty()) {
        rest = "\\";
    }
    return std::string(1, p.drive->letter) + ":" + rest;
}

// LinkInfo with a VolumeID and the local base path; the common path suffix stays empty
// because the base path is the whole target path.
void PutLinkInfo(Bytes& b, const std::string& targetPath, const Drive* drive) {
    const std::string ansi = ToAnsi(targetPath);
    const std::u16string wide = Utf8ToUtf16(targetPath);
    const uint32_t volumeOffset = kLinkInfoHeaderSize;
    const uint32_t volumeSize = kVolumeIdSize + 1;  // the empty label is one NUL
    const uint32_t baseOffset = volumeOffset + volumeSize;
    const auto suffixOffset = static_cast<uint32_t>(baseOffset + ansi.size() + 1);
    const uint32_t baseUnicodeOffset = suffixOffset + 1;
    const auto suffixUnicodeOffset =
        static_cast<uint32_t>(baseUnicodeOffset + 2 * (wide.size() + 1));
    const uint32_t total = suffixUnicodeOffset + 2;

    b.U32(total);
    b.U32(kLinkInfoHeaderSize);
    b.U32(kVolumeIdAndLocalBasePath);
    b.U32(volumeOffset);
    b.U32(baseOffset);
    b.U32(0);  // CommonNetworkRelativeLinkOffset: not a network path
    b.U32(suffixOffset);
    b.U32(baseUnicodeOffset);
    b.U32(suffixUnicodeOffset);

    const std::string root = targetPath.substr(0, 3);
    b.U32(volumeSize);
    b.U32(DriveTypeOf(root));
    b.U32(VolumeSerial(drive));
    b.U32(kVolumeIdSize);  // VolumeLabelOffset: right after the fields
    b.Raw("", 1);          // empty label

    b.Raw(ansi.c_str(), ansi.size() + 1);
    b.Raw("", 1);  // CommonPathSuffix
    PutUtf16z(b, wide);
    b.U16(0);  // CommonPathSuffixUnicode
}

// A StringData entry: character count, then UTF-16 without terminator. False when the text
// is longer than a count can say.
bool PutCountedString(Bytes& b, const std::string& text) {
    const std::u16string units = Utf8ToUtf16(text);
    if (units.size() > 0xFFFF) {
        return false;
    }
    b.U16(static_cast<uint16_t>(units.size()));
    for (char16_t u : units) {
        b.U16(u);
    }
    return true;
}

// Writes `data` to `host` through a temporary file beside it and a rename, so that a failed
// write never leaves a cut-off link in place of a good one. Answers 0 or a Win32 code.
uint32_t WriteReplacing(const std::string& host, const std::vector<uint8_t>& data) {
    std::string temp = host + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return Win32FromErrno(errno);
    }
    fchmod(fd, 0644);
    size_t done = 0;
    int failure = 0;
    while (done < data.size()) {
        const ssize_t w = write(fd, data.data() + done, data.size() - done);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            failure = w < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<size_t>(w);
    }
    if (close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && rename(temp.c_str(), host.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        unlink(temp.c_str());
        return Win32FromErrno(failure);
    }
    NoteNameAdded(host);
    return kErrorSuccess;
}

}  // namespace

long SaveShellLink(const ShellLink& link, const std::string& linkPath) {
    HostPath file;
    if (!Resolve(linkPath, file)) {
        return HresultFromWin32(LastError());
    }
    if (file.exists) {
        struct stat st {};
        if (stat(file.host.c_str(), &st) != 0) {
            return HresultFromWin32(Win32FromErrno(errno));
        }
        // A folder of that name, or a read-only link, cannot be replaced.
        if (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0) {
            return kShellAccessDenied;
        }
    } else if (!file.parentExists) {
        return HresultFromWin32(kErrorPathNotFound);
    }

    // SetPath makes the target absolute; the link then describes the file as it is now.
    HostPath target;
    std::string targetPath = link.target;
    if (Resolve(link.target, target)) {
        targetPath = target.exists ? StoredWindowsPath(target) : target.windows;
    } else {
        target = HostPath{};
    }
    FileStatus status;
    const bool targetExists = ReadFileStatus(targetPath, status);

    uint32_t flags = kHasLinkInfo | kIsUnicode;
    if (!link.description.empty()) {
        flags |= kHasName;
    }
    if (!link.workingFolder.empty()) {
        flags |= kHasWorkingDir;
    }
    if (!link.arguments.empty()) {
        flags |= kHasArguments;
    }
    if (!link.iconPath.empty()) {
        flags |= kHasIconLocation;
    }

    Bytes b;
    b.U32(kHeaderSize);
    b.Raw(kLinkClsid, sizeof kLinkClsid);
    b.U32(flags);
    b.U32(targetExists ? status.attributes : 0);
    b.U64(targetExists ? FileTimeOf(status.created) : 0);
    b.U64(targetExists ? FileTimeOf(status.accessed) : 0);
    b.U64(targetExists ? FileTimeOf(status.modified) : 0);
    b.U32(targetExists ? static_cast<uint32_t>(status.size) : 0);  // the low 32 bits
    b.U32(static_cast<uint32_t>(link.iconIndex));
    b.U32(kShowNormal);
    b.U16(0);  // HotKey
    b.U16(0);  // Reserved1
    b.U32(0);  // Reserved2
    b.U32(0);  // Reserved3

    PutLinkInfo(b, targetPath, target.drive);

    // StringData, in the order the format fixes.
    if ((flags & kHasName) && !PutCountedString(b, link.description)) {
        return HresultFromWin32(kErrorInvalidParameter);
    }
    if ((flags & kHasWorkingDir) && !PutCountedString(b, link.workingFolder)) {
        return HresultFromWin32(kErrorInvalidParameter);
    }
    if ((flags & kHasArguments) && !PutCountedString(b, link.arguments)) {
        return HresultFromWin32(kErrorInvalidParameter);
    }
    if ((flags & kHasIconLocation) && !PutCountedString(b, link.iconPath)) {
        return HresultFromWin32(kErrorInvalidParameter);
    }
    b.U32(0);  // TerminalBlock: no extra data

    const uint32_t error = WriteReplacing(file.host, b.Data());
    if (error != kErrorSuccess) {
        return HresultFromWin32(error);
    }
    return kShellOk;
}

void NotifyAssociationsChanged() {
    AppendRunLog("shell.log", "SHChangeNotify SHCNE_ASSOCCHANGED");
}

}  // namespace platform
