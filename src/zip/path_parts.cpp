// Path splitting for destination paths and parent folders.
#include "zip/path_parts.h"

namespace {

constexpr char kLongPrefix[] = "\\\\?\\unc\\";  // compared lower-cased
constexpr size_t kLongPrefixLength = 8;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

size_t CPathParts::PrefixMatchLength(const std::string& path) {
    size_t n = 0;
    while (n < kLongPrefixLength && n < path.size()) {
        char c = path[n];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != kLongPrefix[n]) {
            break;
        }
        ++n;
    }
    return n;
}

void CPathParts::Split(const std::string& path) {
    m_prefix.clear();
    m_drive.clear();
    m_directory.clear();
    m_title.clear();
    m_extension.clear();

    size_t start = 0;
    size_t match = PrefixMatchLength(path);
    if (match == 2 || match == 4 || match == 8) {
        m_prefix = path.substr(0, match);
        start = match;
    }
    std::string rest = path.substr(start);

    // As _wsplitpath_s: a drive is the two characters before a colon in second place.
    size_t pos = 0;
    if (rest.size() >= 2 && rest[1] == ':') {
        m_drive = rest.substr(0, 2);
        pos = 2;
    }
    size_t lastSeparator = std::string::npos;
    for (size_t i = pos; i < rest.size(); ++i) {
        if (IsSeparator(rest[i])) {
            lastSeparator = i;
        }
    }
    size_t nameStart = pos;
    if (lastSeparator != std::string::npos) {
        m_directory = rest.substr(pos, lastSeparator + 1 - pos);
        nameStart = lastSeparator + 1;
    }
    std::string name = rest.substr(nameStart);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        m_title = name.substr(0, dot);
        m_extension = name.substr(dot);
    } else {
        m_title = name;
    }

    size_t first = 0;
    while (first < m_directory.size() && IsSeparator(m_directory[first])) {
        ++first;
    }
    size_t last = m_directory.size();
    while (last > first && IsSeparator(m_directory[last - 1])) {
        --last;
    }
    m_directory = m_directory.substr(first, last - first);
    size_t dots = 0;
    while (dots < m_extension.size() && m_extension[dots] == '.') {
        ++dots;
    }
    m_extension.erase(0, dots);
}

std::string CPathParts::ParentPath() const {
    std::string parent = m_prefix + m_drive;
    if (!m_drive.empty() && !m_directory.empty()) {
        parent += '\\';
    }
    return parent + m_directory;
}

std::string CPathParts::FileName() const {
    return m_extension.empty() ? m_title : m_title + "." + m_extension;
}

std::string CPathParts::PathWithoutDrive() const {
    std::string name = FileName();
    if (m_directory.empty()) {
        return name;
    }
    if (name.empty()) {
        return m_directory;
    }
    return m_directory + "\\" + name;
}
