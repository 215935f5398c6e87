// The unit tests' archive builder.
#include "test_archive.h"

#include <zlib.h>

#include <algorithm>

namespace ziptest {

std::string Le16(uint16_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string Le32(uint32_t value) {
    return Le16(static_cast<uint16_t>(value & 0xFFFF)) + Le16(static_cast<uint16_t>(value >> 16));
}

namespace {

uint32_t Crc(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

}  // namespace

std::string ExtraField(uint16_t id, const std::string& data) {
    return Le16(id) + Le16(static_cast<uint16_t>(data.size())) + data;
}

std::string UnicodePathField(const std::string& rawName, const std::string& utf8Name) {
    return ExtraField(0x7075, std::string(1, '\1') + Le32(Crc(rawName)) + utf8Name);
}

std::string Build(const std::vector<Entry>& entries, const Options& options) {
    std::string out = options.prefix;
    const size_t base = options.prefix.size();
    std::vector<std::string> central;
    for (const Entry& e : entries) {
        uint32_t crc = Crc(e.data) ^ (e.wrongCrc ? 0x1234u : 0u);
        auto size = static_cast<uint32_t>(e.data.size());
        auto header = [&](uint16_t flags, uint16_t method, uint32_t headerCrc, uint32_t compressed,
                          uint32_t uncompressed) {
            return Le16(flags) + Le16(method) + Le16(e.modTime) + Le16(e.modDate) +
                   Le32(headerCrc) + Le32(compressed) + Le32(uncompressed) +
                   Le16(static_cast<uint16_t>(e.name.size())) +
                   Le16(static_cast<uint16_t>(e.extra.size()));
        };
        std::string common = header(e.flags, e.method, crc, size, size);
        std::string local =
            header(e.localFlags >= 0 ? static_cast<uint16_t>(e.localFlags) : e.flags,
                   e.localMethod >= 0 ? static_cast<uint16_t>(e.localMethod) : e.method,
                   crc ^ e.localCrcXor, e.localCompressedZero ? 0 : size, size + e.localSizeDelta);
        auto offset = static_cast<uint32_t>(out.size() - base);
        out += "PK\3\4" + Le16(20) + local + e.name + e.extra + e.data;
        central.push_back("PK\1\2" + std::string(1, '\x14') +
                          std::string(1, static_cast<char>(e.system)) + Le16(20) + common +
                          Le16(0) + Le16(0) + Le16(0) + Le32(e.externalAttr) + Le32(offset) +
                          e.name + e.extra);
    }
    if (options.reverseDirectory) {
        std::reverse(central.begin(), central.end());
    }
    auto directoryOffset = static_cast<uint32_t>(out.size() - base);
    for (const std::string& header : central) {
        out += header;
    }
    auto directorySize = static_cast<uint32_t>(out.size() - base - directoryOffset);
    if (options.directorySize >= 0) {
        directorySize = static_cast<uint32_t>(options.directorySize);
    }
    auto count = static_cast<uint16_t>(
        options.totalEntries >= 0 ? options.totalEntries : static_cast<int64_t>(entries.size()));
    out += "PK\5\6" + Le16(options.thisDisk) + Le16(options.thisDisk) + Le16(count) + Le16(count) +
           Le32(directorySize) + Le32(directoryOffset) +
           Le16(static_cast<uint16_t>(options.comment.size())) + options.comment;
    return out;
}

}  // namespace ziptest
