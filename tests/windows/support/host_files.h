// The files of the Windows contract tests seen from outside the platform layer's file
// operations: existence and folders through the file attributes.
#pragma once

#include <string>

#include "platform/files.h"

namespace platformtest {

/// True when the file or folder exists.
inline bool HostExists(const std::string& hostPath) {
    return platform::FileAttributes(hostPath) != platform::kInvalidAttributes;
}

/// True when the path is a folder.
inline bool HostIsFolder(const std::string& hostPath) {
    const uint32_t attributes = platform::FileAttributes(hostPath);
    return attributes != platform::kInvalidAttributes &&
           (attributes & platform::kAttrDirectory) != 0;
}

}  // namespace platformtest
