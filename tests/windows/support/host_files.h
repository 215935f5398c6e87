// The files of the Windows contract tests seen from outside the platform layer's file
// operations: existence through the file attributes.
#pragma once

#include <string>

#include "platform/files.h"

namespace platformtest {

/// True when the file or folder exists.
inline bool HostExists(const std::string& hostPath) {
    return platform::FileAttributes(hostPath) != platform::kInvalidAttributes;
}

}  // namespace platformtest
