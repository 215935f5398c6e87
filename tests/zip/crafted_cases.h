// The table of crafted and damaged archives: how each is made and what the reader must do
// with it. Shared by the crafted-archive test and the fuzzer's seed corpus.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace ziptest {

/// The files of one case: the archive, and further files beside it (split volumes).
struct CraftedFiles {
    std::string archive;
    std::vector<std::pair<std::string, std::string>> beside;  // file name, bytes
};

struct CraftedCase {
    std::string name;
    std::function<CraftedFiles()> make;
    /// What the installer's loop (open, extract every entry to C:\out, stop at the first
    /// false) ends with: "done N" (N entries extracted), "open CODE" (Open threw),
    /// "entry I CODE" (ExtractEntry(I) threw), "false I" (ExtractEntry(I) returned false),
    /// "fail CODE" (Open or some ExtractEntry threw CODE; for hostile values that a reader
    /// may refuse at open or at the entry).
    std::string expect;
    /// Ignored-checks mask set after Open; none keeps the reader's default.
    std::optional<uint32_t> ignoredChecks = std::nullopt;
    /// Files below C:\out afterwards ("sub/a.txt=contents", or "sub/" for a folder; a name
    /// with "!" in front must not exist).
    std::vector<std::string> outputs = {};
    /// Entry names in index order, when the case checks them (backslashes as decoded).
    std::vector<std::string> names = {};
    /// The Windows path the archive is written to and opened at.
    std::string where = "C:\\pkg\\a.zip";
    /// Open mode (1: the installer's read-write mode; 3 read-only).
    int mode = 1;
    /// Prepares the machine (host folder) before the run; may be empty.
    std::function<void(const std::string& machineFolder)> setup = {};
};

/// Every case.
std::vector<CraftedCase> CraftedCases();

/// How GoogleTest shows a case: by its name (not as a dump of its bytes).
inline void PrintTo(const CraftedCase& c, std::ostream* out) {
    *out << c.name;
}

}  // namespace ziptest
