// PE32+ image writer: headers, one code section and an optional resource section.
// The layout follows the PE/COFF format as the Windows loader and the version functions
// read it: file alignment 0x200, section alignment 0x1000, resource tree type/name/language.
#include "pe_writer.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/detail/byte_sink.h"

namespace pe {
namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kHeadersSize = 0x200;       // DOS header, PE headers and section table
constexpr uint32_t kPeHeaderOffset = 0x40;     // e_lfanew: the PE signature follows the DOS header
constexpr uint16_t kOptionalHeaderSize = 240;  // PE32+ with 16 data directories
constexpr uint32_t kTextRva = 0x1000;
constexpr uint16_t kTypeVersion = 16;  // RT_VERSION
constexpr uint16_t kTypeRcData = 10;   // RT_RCDATA
constexpr uint16_t kLanguage = 0x0409;
constexpr uint16_t kCodePage = 1200;  // UTF-16, the code page of the string table key

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// Little-endian byte sink with padding and in-place patching.
class Bytes : public platform::detail::ByteSink {
public:
    // A zero-terminated UTF-16LE text; the keys and values written here are ASCII.
    void WideZ(const std::string& ascii) {
        for (char c : ascii) {
            U16(static_cast<uint8_t>(c));
        }
        U16(0);
    }
    void PadTo(size_t alignment) {
        while (Size() % alignment != 0) {
            U8(0);
        }
    }
    void PadToSize(size_t size) {
        if (Size() < size) {
            Data().resize(size, 0);
        }
    }
    void PatchU16(size_t at, uint16_t v) {
        Data()[at] = static_cast<uint8_t>(v);
        Data()[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    void PatchU32(size_t at, uint32_t v) {
        PatchU16(at, static_cast<uint16_t>(v));
        PatchU16(at + 2, static_cast<uint16_t>(v >> 16));
    }
};

// Version blocks nest as {wLength, wValueLength, wType, szKey, padding, value, children};
// every block starts on a 32-bit boundary and wLength covers the block up to its last byte.
class VersionBlock {
public:
    VersionBlock(Bytes& out, const std::string& key, uint16_t valueLength, uint16_t type)
        : m_out(out) {
        m_out.PadTo(4);
        m_start = m_out.Size();
        m_out.U16(0);  // wLength, patched by End
        m_out.U16(valueLength);
        m_out.U16(type);
        m_out.WideZ(key);
        m_out.PadTo(4);
    }
    void End() { m_out.PatchU16(m_start, static_cast<uint16_t>(m_out.Size() - m_start)); }

private:
    Bytes& m_out;
    size_t m_start = 0;
};

uint32_t High(const PeVersion& v) {
    return static_cast<uint32_t>(v.major) << 16 | v.minor;
}
uint32_t Low(const PeVersion& v) {
    return static_cast<uint32_t>(v.build) << 16 | v.revision;
}

// One String of a StringTable: the value length counts UTF-16 units with the terminator.
void StringEntry(Bytes& out, const std::string& key, const std::string& value) {
    VersionBlock block(out, key, static_cast<uint16_t>(value.size() + 1), 1);
    out.WideZ(value);
    block.End();
}

std::vector<uint8_t> VersionResource(const PeVersion& file, const PeVersion& product) {
    Bytes out;
    VersionBlock root(out, "VS_VERSION_INFO", 52, 0);
    out.U32(0xFEEF04BD);  // dwSignature
    out.U32(0x00010000);  // dwStrucVersion
    out.U32(High(file));
    out.U32(Low(file));
    out.U32(High(product));
    out.U32(Low(product));
    out.U32(0x3F);        // dwFileFlagsMask
    out.U32(0);           // dwFileFlags
    out.U32(0x00040004);  // dwFileOS: VOS_NT_WINDOWS32
    out.U32(1);           // dwFileType: VFT_APP
    out.U32(0);           // dwFileSubtype
    out.U32(0);           // dwFileDateMS
    out.U32(0);           // dwFileDateLS
    {
        VersionBlock strings(out, "StringFileInfo", 0, 1);
        VersionBlock table(out, "040904B0", 0, 1);
        StringEntry(out, "FileVersion", PeVersionText(file));
        StringEntry(out, "ProductVersion", PeVersionText(product));
        table.End();
        strings.End();
    }
    {
        VersionBlock vars(out, "VarFileInfo", 0, 1);
        VersionBlock translation(out, "Translation", 4, 0);
        out.U16(kLanguage);
        out.U16(kCodePage);
        translation.End();
        vars.End();
    }
    root.End();
    return std::move(out.Data());
}

struct Resource {
    uint16_t type;
    std::vector<uint8_t> data;
};

// The resource section: a three-level tree (type, name 1, language) over the resources in
// ascending type order, then the data entries, then the data, each 8-byte aligned.
std::vector<uint8_t> ResourceSection(const std::vector<Resource>& resources, uint32_t rva) {
    const auto count = static_cast<uint32_t>(resources.size());
    constexpr uint32_t kDirectory = 16;
    constexpr uint32_t kEntry = 8;
    constexpr uint32_t kSubdirectoryBit = 0x80000000u;
    const uint32_t rootSize = kDirectory + count * kEntry;
    const uint32_t leafDirsSize = 2 * count * (kDirectory + kEntry);  // name and language
    const uint32_t dataEntriesAt = rootSize + leafDirsSize;
    uint32_t dataAt = dataEntriesAt + count * 16;

    Bytes out;
    auto directory = [&out](uint16_t idEntries) {
        out.U32(0);  // Characteristics
        out.U32(0);  // TimeDateStamp
        out.U16(0);  // MajorVersion
        out.U16(0);  // MinorVersion
        out.U16(0);  // NumberOfNamedEntries
        out.U16(idEntries);
    };
    directory(static_cast<uint16_t>(count));
    for (uint32_t i = 0; i < count; ++i) {
        out.U32(resources[i].type);
        out.U32(kSubdirectoryBit | (rootSize + 2 * i * (kDirectory + kEntry)));
    }
    for (uint32_t i = 0; i < count; ++i) {
        directory(1);
        out.U32(1);  // name: id 1 (VS_VERSION_INFO for the version)
        out.U32(kSubdirectoryBit | (rootSize + (2 * i + 1) * (kDirectory + kEntry)));
        directory(1);
        out.U32(kLanguage);
        out.U32(dataEntriesAt + i * 16);  // a leaf: no subdirectory bit
    }
    std::vector<uint32_t> offsets;
    for (const Resource& r : resources) {
        offsets.push_back(dataAt);
        dataAt = AlignUp(dataAt + static_cast<uint32_t>(r.data.size()), 8);
    }
    for (uint32_t i = 0; i < count; ++i) {
        out.U32(rva + offsets[i]);  // OffsetToData is an RVA, not a section offset
        out.U32(static_cast<uint32_t>(resources[i].data.size()));
        out.U32(0);  // CodePage
        out.U32(0);  // Reserved
    }
    for (uint32_t i = 0; i < count; ++i) {
        out.PadToSize(offsets[i]);
        out.Raw(resources[i].data.data(), resources[i].data.size());
    }
    return std::move(out.Data());
}

// The checksum of the optional header as imagehlp's CheckSumMappedFile computes it: a
// 16-bit one's-complement-style sum over the file without the checksum field, plus the size.
uint32_t PeChecksum(const std::vector<uint8_t>& image, size_t checksumAt) {
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        if (i == checksumAt || i == checksumAt + 2) {
            continue;
        }
        uint32_t word = image[i];
        if (i + 1 < image.size()) {
            word |= static_cast<uint32_t>(image[i + 1]) << 8;
        }
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + image.size());
}

}  // namespace

std::string PeVersionText(const PeVersion& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) +
           "." + std::to_string(v.revision);
}

std::vector<uint8_t> BuildPeImage(const PeImageOptions& options) {
    // xor eax, eax; ret: the process ends with exit code 0.
    static constexpr uint8_t kCode[] = {0x31, 0xC0, 0xC3};

    std::vector<Resource> resources;
    if (!options.rcData.empty()) {
        resources.push_back(
            {kTypeRcData, std::vector<uint8_t>(options.rcData.begin(), options.rcData.end())});
    }
    if (options.hasVersion) {
        const PeVersion& product =
            options.hasProductVersion ? options.productVersion : options.fileVersion;
        resources.push_back({kTypeVersion, VersionResource(options.fileVersion, product)});
    }
    const bool hasResources = !resources.empty();
    const uint32_t rsrcRva = kTextRva + kSectionAlignment;
    const std::vector<uint8_t> rsrc =
        hasResources ? ResourceSection(resources, rsrcRva) : std::vector<uint8_t>();
    const uint32_t textRaw = AlignUp(sizeof kCode, kFileAlignment);
    const uint32_t rsrcRaw = AlignUp(static_cast<uint32_t>(rsrc.size()), kFileAlignment);
    const uint16_t sections = hasResources ? 2 : 1;
    const uint32_t imageSize =
        hasResources ? AlignUp(rsrcRva + static_cast<uint32_t>(rsrc.size()), kSectionAlignment)
                     : kTextRva + kSectionAlignment;

    Bytes out;
    // DOS header: only e_magic and e_lfanew matter to a PE loader.
    out.Raw("MZ", 2);
    out.PadToSize(0x3C);
    out.U32(kPeHeaderOffset);
    out.PadToSize(kPeHeaderOffset);
    out.Raw("PE\0\0", 4);
    // COFF file header.
    out.U16(0x8664);  // Machine: AMD64
    out.U16(sections);
    out.U32(0);  // TimeDateStamp: fixed, so equal options give equal files
    out.U32(0);  // PointerToSymbolTable
    out.U32(0);  // NumberOfSymbols
    out.U16(kOptionalHeaderSize);
    out.U16(0x0023);  // RELOCS_STRIPPED | EXECUTABLE_IMAGE | LARGE_ADDRESS_AWARE
    // Optional header (PE32+).
    out.U16(0x020B);
    out.U8(14);               // MajorLinkerVersion
    out.U8(0);                // MinorLinkerVersion
    out.U32(textRaw);         // SizeOfCode
    out.U32(rsrcRaw);         // SizeOfInitializedData
    out.U32(0);               // SizeOfUninitializedData
    out.U32(kTextRva);        // AddressOfEntryPoint
    out.U32(kTextRva);        // BaseOfCode
    out.U64(0x140000000ull);  // ImageBase
    out.U32(kSectionAlignment);
    out.U32(kFileAlignment);
    out.U16(6);  // MajorOperatingSystemVersion
    out.U16(0);
    out.U16(0);  // MajorImageVersion
    out.U16(0);
    out.U16(6);  // MajorSubsystemVersion
    out.U16(0);
    out.U32(0);  // Win32VersionValue
    out.U32(imageSize);
    out.U32(kHeadersSize);
    const size_t checksumAt = out.Size();
    out.U32(0);         // CheckSum, patched below
    out.U16(2);         // Subsystem: Windows GUI
    out.U16(0x8100);    // DllCharacteristics: NX_COMPAT | TERMINAL_SERVER_AWARE
    out.U64(0x100000);  // SizeOfStackReserve
    out.U64(0x1000);    // SizeOfStackCommit
    out.U64(0x100000);  // SizeOfHeapReserve
    out.U64(0x1000);    // SizeOfHeapCommit
    out.U32(0);         // LoaderFlags
    out.U32(16);        // NumberOfRvaAndSizes
    for (int i = 0; i < 16; ++i) {
        const bool resourceDirectory = i == 2 && hasResources;
        out.U32(resourceDirectory ? rsrcRva : 0);
        out.U32(resourceDirectory ? static_cast<uint32_t>(rsrc.size()) : 0);
    }
    // Section table.
    auto section = [&out](const char* name, uint32_t virtualSize, uint32_t rva, uint32_t rawSize,
                          uint32_t rawAt, uint32_t characteristics) {
        char padded[8] = {};
        std::memcpy(padded, name, std::strlen(name));
        out.Raw(padded, 8);
        out.U32(virtualSize);
        out.U32(rva);
        out.U32(rawSize);
        out.U32(rawAt);
        out.U32(0);  // PointerToRelocations
        out.U32(0);  // PointerToLinenumbers
        out.U16(0);  // NumberOfRelocations
        out.U16(0);  // NumberOfLinenumbers
        out.U32(characteristics);
    };
    section(".text", sizeof kCode, kTextRva, textRaw, kHeadersSize,
            0x60000020);  // CODE | EXECUTE | READ
    if (hasResources) {
        section(".rsrc", static_cast<uint32_t>(rsrc.size()), rsrcRva, rsrcRaw,
                kHeadersSize + textRaw, 0x40000040);  // INITIALIZED_DATA | READ
    }
    out.PadToSize(kHeadersSize);
    out.Raw(kCode, sizeof kCode);
    out.PadToSize(kHeadersSize + textRaw);
    if (hasResources) {
        out.Raw(rsrc.data(), rsrc.size());
        out.PadToSize(kHeadersSize + textRaw + rsrcRaw);
    }
    out.PatchU32(checksumAt, PeChecksum(out.Data(), checksumAt));
    return std::move(out.Data());
}

bool WritePeFile(const std::string& hostPath, const PeImageOptions& options, std::string& problem) {
    const std::vector<uint8_t> image = BuildPeImage(options);
    std::ofstream file(hostPath, std::ios::binary | std::ios::trunc);
    if (!file) {
        problem = "cannot create " + hostPath + ": " + std::strerror(errno);
        return false;
    }
    file.write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    file.close();
    if (!file) {
        problem = "cannot write " + hostPath;
        return false;
    }
    return true;
}

bool WritePeFile(const std::string& hostPath, const PeVersion* version, std::string& problem) {
    PeImageOptions options;
    if (version != nullptr) {
        options.hasVersion = true;
        options.fileVersion = *version;
    }
    return WritePeFile(hostPath, options, problem);
}

}  // namespace pe
