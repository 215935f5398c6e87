// Helpers shared by the platform contract tests: enumeration into a list, whole-file reads
// through the platform, and a look at the host side (modes, extended attributes).
#pragma once

#include "platform/errors.h"
#include "platform/files.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <string>
#include <vector>

namespace platformtest {

/// Every name an enumeration yields, in order; empty when First fails (LastError kept).
inline std::vector<std::string> ListNames(const std::string& pattern) {
    std::vector<std::string> names;
    platform::FileFinder finder;
    platform::FindData data;
    if (!finder.First(pattern, data)) {
        return names;
    }
    do {
        names.push_back(data.name);
    } while (finder.Next(data));
    return names;
}

/// The names without "." and "..".
inline std::vector<std::string> WithoutDots(std::vector<std::string> names) {
    std::erase_if(names, [](const std::string& n) { return n == "." || n == ".."; });
    return names;
}

/// Reads a whole file through CrtFile; `error` receives the first errno value met.
inline std::string ReadThroughPlatform(const std::string& path, int& error) {
    platform::CrtFile file;
    error = file.Open(path, platform::CrtFile::kRead | platform::CrtFile::kBinary,
                      platform::CrtFile::kDenyNone);
    std::string contents;
    if (error != 0) {
        return contents;
    }
    char buffer[4096];
    size_t got = 0;
    while ((error = file.Read(buffer, sizeof buffer, got)) == 0 && got > 0) {
        contents.append(buffer, got);
    }
    return contents;
}

/// True when the host file exists (lstat succeeds).
inline bool HostExists(const std::string& hostPath) {
    struct stat st {};
    return lstat(hostPath.c_str(), &st) == 0;
}

/// The host mode bits, or 0 when the file cannot be read.
inline unsigned HostMode(const std::string& hostPath) {
    struct stat st {};
    return stat(hostPath.c_str(), &st) == 0 ? st.st_mode : 0;
}

/// The value of the user.DOSATTRIB attribute; `present` is false when it is missing.
inline std::string DosAttribXattr(const std::string& hostPath, bool& present) {
    char value[256];
    const ssize_t n = getxattr(hostPath.c_str(), "user.DOSATTRIB", value, sizeof value);
    present = n >= 0;
    return present ? std::string(value, static_cast<size_t>(n)) : std::string();
}

}  // namespace platformtest
