// Helpers shared by the platform contract tests of both platforms: enumeration into a list
// and whole-file reads through the platform. Each platform's host_files.h looks at the files
// from the host's side.
#pragma once

#include "platform/errors.h"
#include "platform/files.h"

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

}  // namespace platformtest
