// Reading shell link files back in the tests: through the real lnkinfo tool, and through a
// small parser of the binary layout for the fields lnkinfo does not show or shows wrongly.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace linktest {

/// What lnkinfo printed for a link: its "Name : value" lines under "Link information".
struct LnkinfoReport {
    int exitCode = -1;
    std::string output;                         // everything lnkinfo printed
    std::map<std::string, std::string> fields;  // "Local path" -> "C:\..."
    bool Has(const std::string& key) const { return fields.count(key) != 0; }
    std::string Get(const std::string& key) const {
        const auto it = fields.find(key);
        return it == fields.end() ? "" : it->second;
    }
};

/// Runs lnkinfo on a host file.
LnkinfoReport RunLnkinfo(const std::string& hostPath);

/// The parts of a link file read straight from its bytes.
struct ParsedLink {
    std::string problem;  // empty when the layout holds together
    uint32_t headerSize = 0;
    std::vector<uint8_t> clsid;
    uint32_t flags = 0;
    uint32_t fileAttributes = 0;
    uint64_t creationTime = 0;
    uint64_t accessTime = 0;
    uint64_t writeTime = 0;
    uint32_t fileSize = 0;
    int32_t iconIndex = 0;
    uint32_t showCommand = 0;
    uint16_t hotKey = 0;
    uint64_t reserved = 0;  // the three reserved fields, summed
    // LinkInfo
    uint32_t linkInfoHeaderSize = 0;
    uint32_t linkInfoFlags = 0;
    uint32_t driveType = 0;
    uint32_t driveSerial = 0;
    std::string volumeLabel;
    std::string localBasePathAnsi;  // raw code-page bytes
    std::string commonPathSuffix;
    std::u16string localBasePathUnicode;
    std::u16string commonPathSuffixUnicode;
    // StringData, in file order, present when its flag is set
    std::vector<std::u16string> strings;
    bool terminalBlockAtEnd = false;  // a zero TerminalBlock closes the file exactly
};

/// Parses the bytes of a link written without LinkTargetIDList and extra data blocks.
ParsedLink ParseLink(const std::string& bytes);

/// UTF-8 to UTF-16, for comparing with the parsed strings.
std::u16string U16(const std::string& utf8);

}  // namespace linktest
