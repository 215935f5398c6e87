// Splitting a Windows path into long-path prefix, drive, directory, title and extension, the
// way the reader forms destination paths and finds parent folders during extraction.
#pragma once

#include <string>

/// The parts of a path. Directory keeps inner backslashes but loses leading and trailing
/// ones; the extension loses its leading dots.
class CPathParts {
public:
    CPathParts() = default;
    /// Splits `path` (see Split).
    explicit CPathParts(const std::string& path) { Split(path); }

    /// Splits a path: a leading "\\", "\\?\" or "\\?\UNC\" (compared without regard to case)
    /// becomes the prefix; the rest is split as _wsplitpath_s does.
    void Split(const std::string& path);

    /// prefix + drive + (backslash when drive and directory are both non-empty) + directory.
    std::string ParentPath() const;
    /// title + ("." + extension when there is one).
    std::string FileName() const;
    /// directory + (backslash when both are non-empty) + file name: the path without its
    /// prefix and drive.
    std::string PathWithoutDrive() const;

    /// Number of leading characters of `path` that match "\\?\unc\" without regard to case.
    static size_t PrefixMatchLength(const std::string& path);

    std::string m_prefix;     // "\\", "\\?\" or "\\?\UNC\" as written, or empty
    std::string m_drive;      // "C:" or empty
    std::string m_directory;  // "a\b" without leading or trailing backslashes
    std::string m_title;      // file name without extension
    std::string m_extension;  // without the dot
};
