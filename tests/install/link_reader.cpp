// Reading shell link files back in the tests.
#include "link_reader.h"
#include "platform/posix/machine.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <sstream>

#include "platform/text.h"

using platform::posix::ShellQuote;

namespace linktest {

namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

class Cursor {
public:
    explicit Cursor(const std::string& bytes) : m_bytes(bytes) {}
    bool Has(size_t at, size_t count) const {
        return at <= m_bytes.size() && count <= m_bytes.size() - at;
    }
    uint8_t U8(size_t at) const { return static_cast<uint8_t>(m_bytes[at]); }
    uint16_t U16At(size_t at) const { return static_cast<uint16_t>(U8(at) | U8(at + 1) << 8); }
    uint32_t U32At(size_t at) const {
        return static_cast<uint32_t>(U16At(at)) | static_cast<uint32_t>(U16At(at + 2)) << 16;
    }
    uint64_t U64At(size_t at) const {
        return static_cast<uint64_t>(U32At(at)) | static_cast<uint64_t>(U32At(at + 4)) << 32;
    }
    // A NUL-terminated byte string; false when it runs past `end`.
    bool Ansi(size_t at, size_t end, std::string& out) const {
        out.clear();
        for (size_t i = at; i < end; ++i) {
            if (m_bytes[i] == '\0') {
                return true;
            }
            out.push_back(m_bytes[i]);
        }
        return false;
    }
    bool Wide(size_t at, size_t end, std::u16string& out) const {
        out.clear();
        for (size_t i = at; i + 1 < end; i += 2) {
            const char16_t u = U16At(i);
            if (u == 0) {
                return true;
            }
            out.push_back(u);
        }
        return false;
    }
    size_t Size() const { return m_bytes.size(); }

private:
    const std::string& m_bytes;
};

}  // namespace

std::u16string U16(const std::string& utf8) {
    return platform::Utf8ToUtf16(utf8);
}

LnkinfoReport RunLnkinfo(const std::string& hostPath) {
    LnkinfoReport report;
    const std::string command =
        std::string("LC_ALL=C.UTF-8 ") + MIVO_LNKINFO_PATH + " " + ShellQuote(hostPath) + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return report;
    }
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        report.output.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    report.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(report.output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(':');
        if (line.empty() || line[0] != '\t' || colon == std::string::npos) {
            continue;
        }
        // Values hold colons of their own (drive letters, times): split at the first one.
        const std::string key = Trim(line.substr(0, colon));
        const std::string value = colon + 2 <= line.size() ? line.substr(colon + 2) : "";
        report.fields.emplace(key, Trim(value));
    }
    return report;
}

ParsedLink ParseLink(const std::string& bytes) {
    ParsedLink link;
    Cursor c(bytes);
    if (!c.Has(0, 0x4C)) {
        link.problem = "shorter than a header";
        return link;
    }
    link.headerSize = c.U32At(0);
    link.clsid.assign(bytes.begin() + 4, bytes.begin() + 20);
    link.flags = c.U32At(0x14);
    link.fileAttributes = c.U32At(0x18);
    link.creationTime = c.U64At(0x1C);
    link.accessTime = c.U64At(0x24);
    link.writeTime = c.U64At(0x2C);
    link.fileSize = c.U32At(0x34);
    link.iconIndex = static_cast<int32_t>(c.U32At(0x38));
    link.showCommand = c.U32At(0x3C);
    link.hotKey = c.U16At(0x40);
    link.reserved = c.U16At(0x42) + uint64_t{c.U32At(0x44)} + c.U32At(0x48);
    size_t at = link.headerSize;
    if (link.flags & 0x01) {
        link.problem = "unexpected LinkTargetIDList";
        return link;
    }
    if (link.flags & 0x02) {
        if (!c.Has(at, 0x1C)) {
            link.problem = "LinkInfo cut off";
            return link;
        }
        const uint32_t size = c.U32At(at);
        if (!c.Has(at, size)) {
            link.problem = "LinkInfoSize past the end";
            return link;
        }
        const size_t end = at + size;
        link.linkInfoHeaderSize = c.U32At(at + 4);
        link.linkInfoFlags = c.U32At(at + 8);
        const uint32_t volumeOffset = c.U32At(at + 12);
        const uint32_t baseOffset = c.U32At(at + 16);
        const uint32_t suffixOffset = c.U32At(at + 24);
        const size_t volume = at + volumeOffset;
        if (!c.Has(volume, 16) || volume + 16 > end) {
            link.problem = "VolumeID outside LinkInfo";
            return link;
        }
        link.driveType = c.U32At(volume + 4);
        link.driveSerial = c.U32At(volume + 8);
        if (!c.Ansi(volume + c.U32At(volume + 12), end, link.volumeLabel) ||
            !c.Ansi(at + baseOffset, end, link.localBasePathAnsi) ||
            !c.Ansi(at + suffixOffset, end, link.commonPathSuffix)) {
            link.problem = "LinkInfo string not terminated inside LinkInfo";
            return link;
        }
        if (link.linkInfoHeaderSize >= 0x24) {
            if (!c.Wide(at + c.U32At(at + 28), end, link.localBasePathUnicode) ||
                !c.Wide(at + c.U32At(at + 32), end, link.commonPathSuffixUnicode)) {
                link.problem = "LinkInfo Unicode string not terminated inside LinkInfo";
                return link;
            }
        }
        at = end;
    }
    for (uint32_t flag : {0x04u, 0x08u, 0x10u, 0x20u, 0x40u}) {
        if ((link.flags & flag) == 0) {
            continue;
        }
        if (!c.Has(at, 2)) {
            link.problem = "StringData cut off";
            return link;
        }
        const size_t count = c.U16At(at);
        if (!c.Has(at + 2, count * 2)) {
            link.problem = "StringData past the end";
            return link;
        }
        std::u16string text;
        for (size_t i = 0; i < count; ++i) {
            text.push_back(c.U16At(at + 2 + 2 * i));
        }
        link.strings.push_back(text);
        at += 2 + count * 2;
    }
    link.terminalBlockAtEnd = c.Has(at, 4) && c.U32At(at) == 0 && at + 4 == c.Size();
    return link;
}

}  // namespace linktest
