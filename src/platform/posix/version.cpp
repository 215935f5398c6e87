// File version resources read straight out of PE files (what GetFileVersionInfoW finds):
// the resource directory's RT_VERSION entry, first name, first language. Every offset
// read from the file is checked against the file before it is used.
#include <cstring>
#include <fstream>

#include "platform/errors.h"
#include "platform/posix/internal.h"
#include "platform/system.h"

namespace platform {

using namespace platform::posix;

namespace {

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kMaxVersionBlock = 1u << 20;

class PeFile {
public:
    explicit PeFile(const std::string& host) : m_in(host, std::ios::binary) {
        if (m_in) {
            m_in.seekg(0, std::ios::end);
            m_size = static_cast<uint64_t>(m_in.tellg());
        }
    }
    bool IsOpen() const { return static_cast<bool>(m_in); }

    bool Read(uint64_t offset, void* out, size_t count) {
        if (offset > m_size || count > m_size - offset) {
            return false;
        }
        m_in.clear();
        m_in.seekg(static_cast<std::streamoff>(offset));
        m_in.read(static_cast<char*>(out), static_cast<std::streamsize>(count));
        return static_cast<size_t>(m_in.gcount()) == count;
    }
    bool U16(uint64_t offset, uint32_t& value) {
        uint8_t b[2];
        if (!Read(offset, b, 2)) {
            return false;
        }
        value = b[0] | (b[1] << 8);
        return true;
    }
    bool U32(uint64_t offset, uint32_t& value) {
        uint8_t b[4];
        if (!Read(offset, b, 4)) {
            return false;
        }
        value = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
        return true;
    }

private:
    std::ifstream m_in;
    uint64_t m_size = 0;
};

struct Section {
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
};

// Finds the RT_VERSION data of a PE file: its file offset and size. Sets LastError.
bool LocateVersionResource(const std::string& path, uint64_t& offset, uint32_t& size,
                           std::string& host) {
    HostPath p;
    if (!Resolve(path, p)) {
        return false;
    }
    if (!p.exists) {
        SetLastErrorCode(p.parentExists ? kErrorFileNotFound : kErrorPathNotFound);
        return false;
    }
    host = p.host;
    PeFile pe(p.host);
    const auto noResource = [] {
        SetLastErrorCode(kErrorResourceTypeNotFound);
        return false;
    };
    if (!pe.IsOpen()) {
        SetLastErrorCode(kErrorAccessDenied);
        return false;
    }
    uint32_t mz = 0;
    uint32_t peOffset = 0;
    uint32_t signature = 0;
    if (!pe.U16(0, mz) || mz != 0x5A4D || !pe.U32(0x3C, peOffset) || !pe.U32(peOffset, signature) ||
        signature != 0x00004550) {
        SetLastErrorCode(kErrorBadExeFormat);
        return false;
    }
    const uint64_t coff = static_cast<uint64_t>(peOffset) + 4;
    uint32_t sectionCount = 0;
    uint32_t optionalSize = 0;
    uint32_t magic = 0;
    if (!pe.U16(coff + 2, sectionCount) || !pe.U16(coff + 16, optionalSize) ||
        !pe.U16(coff + 20, magic)) {
        SetLastErrorCode(kErrorBadExeFormat);
        return false;
    }
    const uint64_t optional = coff + 20;
    uint64_t dirCountAt = 0;
    if (magic == 0x10B) {
        dirCountAt = optional + 92;
    } else if (magic == 0x20B) {
        dirCountAt = optional + 108;
    } else {
        SetLastErrorCode(kErrorBadExeFormat);
        return false;
    }
    uint32_t dirCount = 0;
    uint32_t resourceRva = 0;
    if (!pe.U32(dirCountAt, dirCount) || dirCount < 3 ||
        dirCountAt + 4 + 3 * 8 > optional + optionalSize ||
        !pe.U32(dirCountAt + 4 + 2 * 8, resourceRva) || resourceRva == 0) {
        return noResource();
    }
    std::vector<Section> sections;
    const uint64_t table = optional + optionalSize;
    for (uint32_t i = 0; i < sectionCount && i < 96; ++i) {
        Section s;
        const uint64_t at = table + static_cast<uint64_t>(i) * 40;
        if (!pe.U32(at + 8, s.virtualSize) || !pe.U32(at + 12, s.virtualAddress) ||
            !pe.U32(at + 16, s.rawSize) || !pe.U32(at + 20, s.rawOffset)) {
            SetLastErrorCode(kErrorBadExeFormat);
            return false;
        }
        sections.push_back(s);
    }
    const auto toOffset = [&](uint32_t rva, uint64_t& out) {
        for (const Section& s : sections) {
            const uint32_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
            if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
                out = static_cast<uint64_t>(s.rawOffset) + (rva - s.virtualAddress);
                return true;
            }
        }
        return false;
    };
    uint64_t root = 0;
    if (!toOffset(resourceRva, root)) {
        return noResource();
    }
    // Walks one directory level: the entry with `id` (or the first entry when id is 0).
    const auto enter = [&](uint64_t dir, uint32_t id, bool wantDirectory, uint32_t& target) {
        uint32_t named = 0;
        uint32_t ids = 0;
        if (!pe.U16(dir + 12, named) || !pe.U16(dir + 14, ids)) {
            return false;
        }
        for (uint32_t i = 0; i < named + ids && i < 4096; ++i) {
            uint32_t nameOrId = 0;
            uint32_t data = 0;
            if (!pe.U32(dir + 16 + i * 8, nameOrId) || !pe.U32(dir + 20 + i * 8, data)) {
                return false;
            }
            if (id != 0 && nameOrId != id) {
                continue;
            }
            if (((data & 0x80000000u) != 0) != wantDirectory) {
                return false;
            }
            target = data & 0x7FFFFFFFu;
            return true;
        }
        return false;
    };
    uint32_t level2 = 0;
    uint32_t level3 = 0;
    uint32_t dataEntry = 0;
    if (!enter(root, kRtVersion, true, level2) || !enter(root + level2, 0, true, level3) ||
        !enter(root + level3, 0, false, dataEntry)) {
        return noResource();
    }
    uint32_t dataRva = 0;
    uint32_t dataSize = 0;
    if (!pe.U32(root + dataEntry, dataRva) || !pe.U32(root + dataEntry + 4, dataSize) ||
        !toOffset(dataRva, offset) || dataSize == 0 || dataSize > kMaxVersionBlock) {
        SetLastErrorCode(kErrorResourceDataNotFound);
        return false;
    }
    uint8_t probe = 0;
    if (dataSize > 0 && !pe.Read(offset + dataSize - 1, &probe, 1)) {
        SetLastErrorCode(kErrorResourceDataNotFound);
        return false;
    }
    size = dataSize;
    return true;
}

}  // namespace

uint32_t FileVersionInfoSize(const std::string& path) {
    uint64_t offset = 0;
    uint32_t size = 0;
    std::string host;
    if (!LocateVersionResource(path, offset, size, host)) {
        return 0;
    }
    SetLastErrorCode(kErrorSuccess);
    return size;
}

bool ReadFileVersionInfo(const std::string& path, uint32_t size, std::vector<uint8_t>& block) {
    uint64_t offset = 0;
    uint32_t actual = 0;
    std::string host;
    if (!LocateVersionResource(path, offset, actual, host)) {
        return false;
    }
    const uint32_t count = size < actual ? size : actual;
    block.assign(count, 0);
    PeFile pe(host);
    if (!pe.Read(offset, block.data(), count)) {
        SetLastErrorCode(kErrorResourceDataNotFound);
        return false;
    }
    SetLastErrorCode(kErrorSuccess);
    return true;
}

bool QueryFixedFileInfo(const std::vector<uint8_t>& block, FixedFileInfo& info) {
    const auto u16 = [&](size_t at) -> uint32_t { return block[at] | (block[at + 1] << 8); };
    const auto u32 = [&](size_t at) -> uint32_t {
        return block[at] | (block[at + 1] << 8) | (block[at + 2] << 16) |
               (static_cast<uint32_t>(block[at + 3]) << 24);
    };
    if (block.size() < 6) {
        return false;
    }
    const uint32_t valueLength = u16(2);
    // The key "VS_VERSION_INFO" in UTF-16 with its terminator, then padding to 4 bytes.
    static const char kKey[] = "VS_VERSION_INFO";
    size_t at = 6;
    for (size_t i = 0; i <= std::strlen(kKey); ++i, at += 2) {
        if (at + 2 > block.size() || u16(at) != static_cast<unsigned char>(kKey[i])) {
            return false;
        }
    }
    at = (at + 3) & ~static_cast<size_t>(3);
    if (valueLength < 52 || at + 52 > block.size()) {
        return false;
    }
    FixedFileInfo f;
    f.signature = u32(at);
    if (f.signature != kFixedSignature) {
        return false;
    }
    f.structVersion = u32(at + 4);
    f.fileVersionMS = u32(at + 8);
    f.fileVersionLS = u32(at + 12);
    f.productVersionMS = u32(at + 16);
    f.productVersionLS = u32(at + 20);
    f.fileFlagsMask = u32(at + 24);
    f.fileFlags = u32(at + 28);
    f.fileOS = u32(at + 32);
    f.fileType = u32(at + 36);
    f.fileSubtype = u32(at + 40);
    f.fileDateMS = u32(at + 44);
    f.fileDateLS = u32(at + 48);
    info = f;
    return true;
}

}  // namespace platform
