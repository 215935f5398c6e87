// The simulated machine's files seen from the Linux host: existence, mode bits and the
// extended attribute that holds the DOS attributes.
#pragma once

#include <sys/stat.h>
#include <sys/xattr.h>

#include <string>

namespace platformtest {

/// True when the host file exists (lstat succeeds).
inline bool HostExists(const std::string& hostPath) {
    struct stat st {};
    return lstat(hostPath.c_str(), &st) == 0;
}

/// True when the host path is a folder.
inline bool HostIsFolder(const std::string& hostPath) {
    struct stat st {};
    return stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
