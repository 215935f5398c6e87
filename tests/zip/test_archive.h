// A small builder of stored-entry archives for the reader's unit tests: every header field
// that the reader interprets can be set, so that cases no real tool makes can be tested.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ziptest {

/// One stored entry.
struct Entry {
    std::string name{};                           // raw name bytes
    std::string data{};                           // stored data
    uint8_t system = 0;                           // high byte of version made by
    uint16_t flags = 0;                           // general-purpose flags
    uint16_t method = 0;                          // written as is; the data stays stored
    uint32_t externalAttr = 0x20;                 // external attributes
    std::string extra{};                          // extra field of both headers
    uint16_t modTime = 0;                         // MS-DOS time
    uint16_t modDate = (40 << 9) | (1 << 5) | 1;  // 2020-01-01
    bool wrongCrc = false;  // headers carry a CRC that does not match the data
    // Local header only: where it disagrees with the central header.
    int localMethod = -1;              // -1: as central
    int localFlags = -1;               // -1: as central
    uint32_t localCrcXor = 0;          // changes the local CRC
    uint32_t localSizeDelta = 0;       // added to the local uncompressed size
    bool localCompressedZero = false;  // local compressed size 0
};

/// Whole-archive options.
struct Options {
    std::string prefix{};           // bytes before the archive
    std::string comment{};          // archive comment
    bool reverseDirectory = false;  // central headers in reverse order of the data
    uint16_t thisDisk = 0;          // end record: number of this disk
    int64_t totalEntries = -1;      // end record: entries (both counts); -1 the real count
    int64_t directorySize = -1;     // end record: size of the directory; -1 the real size
};

/// The archive's bytes.
std::string Build(const std::vector<Entry>& entries, const Options& options = {});

/// An extra field with one record.
std::string ExtraField(uint16_t id, const std::string& data);

/// The Unicode path field (0x7075) for `utf8Name`, carrying the CRC-32 of `rawName`.
std::string UnicodePathField(const std::string& rawName, const std::string& utf8Name);

/// Little-endian helpers.
std::string Le16(uint16_t value);
std::string Le32(uint32_t value);

}  // namespace ziptest
