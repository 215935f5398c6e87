// Volume names of split archives.
#include "zip/volume_namer.h"

#include <cstdio>

namespace {

size_t ExtensionDot(const std::string& path) {
    size_t separator = path.find_last_of("\\/:");
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
        return std::string::npos;
    }
    return dot;
}

}  // namespace

std::string CVolumeNamer::ExtensionOf(const std::string& path) {
    size_t dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string CVolumeNamer::WithoutExtension(const std::string& path) {
    size_t dot = ExtensionDot(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

void CSplitVolumeNamer::Initialize(const std::string& archivePath) {
    CVolumeNamer::Initialize(archivePath);
    std::string extension = ExtensionOf(archivePath);
    m_extension = extension.empty() ? "zip" : extension;
}

std::string CSplitVolumeNamer::GetVolumeName(uint32_t number, int flags) const {
    if ((flags & kLastVolume) != 0) {
        // The last volume is the file the archive was opened by.
        if ((flags & kExistingArchive) != 0) {
            return m_archivePath;
        }
        return WithoutExtension(m_archivePath) + "." + m_extension;
    }
    char extension[16];
    std::snprintf(extension, sizeof extension, number > 99 ? "z%u" : "z%.2u", number);
    return WithoutExtension(m_archivePath) + "." + extension;
}

std::string CBinaryVolumeNamer::GetVolumeName(uint32_t number, int flags) const {
    char extension[16];
    std::snprintf(extension, sizeof extension, number > 999 ? "%u" : "%.3u", number);
    if ((flags & kExistingArchive) != 0) {
        return WithoutExtension(m_archivePath) + "." + extension;
    }
    return m_archivePath + "." + extension;
}

uint32_t CBinaryVolumeNamer::GetVolumeNumber(const std::string& path) const {
    std::string extension = ExtensionOf(path);
    if (extension.size() < 3 || extension.size() > 9) {
        return 0;
    }
    uint32_t number = 0;
    for (char c : extension) {
        if (c < '0' || c > '9') {
            return 0;
        }
        number = number * 10 + static_cast<uint32_t>(c - '0');
    }
    return number;
}
