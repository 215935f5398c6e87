// Test support: what the tests read back from the host side of a machine — the names in a
// folder and the lines of a log that mention something.
#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

/// The names in a host folder, sorted; empty when it cannot be listed.
inline std::vector<std::string> Names(const std::string& hostFolder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(hostFolder, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// Number of lines of `text` that contain `part`.
inline size_t CountLines(const std::string& text, const std::string& part) {
    size_t count = 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        count += line.find(part) != std::string::npos ? 1 : 0;
    }
    return count;
}

}  // namespace testsupport
