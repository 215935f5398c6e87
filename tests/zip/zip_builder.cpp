// Test-only builder of zip archives: lays out local headers, data, central directory and
// end records from fields a test may have changed.
#include "zip_builder.h"

#include <bzlib.h>
#include <zlib.h>

#include <stdexcept>

namespace ziptest {

void Put16(std::string& out, uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, static_cast<uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<uint16_t>(value >> 16));
}

void Put64(std::string& out, uint64_t value) {
    Put32(out, static_cast<uint32_t>(value & 0xFFFFFFFFu));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

std::string ExtraField(uint16_t id, const std::string& data) {
    std::string out;
    Put16(out, id);
    Put16(out, static_cast<uint16_t>(data.size()));
    return out + data;
}

uint32_t Crc32(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string Deflate(const std::string& data) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&stream, data.size()) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    out.resize(stream.total_out);
    return out;
}

std::string Bzip2(const std::string& data) {
    std::string out(data.size() + data.size() / 100 + 700, '\0');
    auto length = static_cast<unsigned>(out.size());
    if (BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.data()),
                                 static_cast<unsigned>(data.size()), 9, 0, 0) != BZ_OK) {
        throw std::runtime_error("bzip2");
    }
    out.resize(length);
    return out;
}

uint16_t DosTime(int hour, int minute, int second) {
    return static_cast<uint16_t>(hour << 11 | minute << 5 | second / 2);
}

uint16_t DosDate(int year, int month, int day) {
    return static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day);
}

std::string Descriptor(uint32_t crc, uint64_t compressed, uint64_t uncompressed, bool zip64) {
    std::string out("PK\x07\x08", 4);
    Put32(out, crc);
    if (zip64) {
        Put64(out, compressed);
        Put64(out, uncompressed);
    } else {
        Put32(out, static_cast<uint32_t>(compressed));
        Put32(out, static_cast<uint32_t>(uncompressed));
    }
    return out;
}

Entry& ZipBuilder::Add(const std::string& name, const std::string& data, uint16_t method) {
    Entry entry;
    entry.name = name;
    entry.method = method;
    entry.payload = method == 8 ? Deflate(data) : method == 12 ? Bzip2(data) : data;
    entry.crc = Crc32(data);
    entry.compressedSize = entry.payload.size();
    entry.uncompressedSize = data.size();
    entry.local = LocalHeader{20,
                              0,
                              method,
                              entry.time,
                              entry.date,
                              entry.crc,
                              static_cast<uint32_t>(entry.compressedSize),
                              static_cast<uint32_t>(entry.uncompressedSize),
                              name,
                              ""};
    m_entries.push_back(entry);
    return m_entries.back();
}

Entry& ZipBuilder::AddFolder(const std::string& name) {
    Entry& entry = Add(name, "", 0);
    entry.externalAttr = 0x10;
    return entry;
}

std::string ZipBuilder::Build(uint64_t* cdOffsetOut) {
    std::string out = prefix;
    // Offsets in the archive count from the first local header, as a plain zip's do; a
    // prefix therefore makes a self-extracting archive without adjusted offsets.
    const size_t base = prefix.size();
    for (Entry& e : m_entries) {
        e.offset = out.size() - base;
        const LocalHeader& l = e.local;
        std::string extra = l.extra;
        uint32_t compressed = l.compressedSize;
        uint32_t uncompressed = l.uncompressedSize;
        if (e.zip64) {
            std::string sizes;
            Put64(sizes, e.uncompressedSize);
            Put64(sizes, e.compressedSize);
            extra = ExtraField(0x0001, sizes) + extra;
            compressed = uncompressed = 0xFFFFFFFFu;
        }
        out += std::string("PK\x03\x04", 4);
        Put16(out, l.versionNeeded);
        Put16(out, l.flags);
        Put16(out, l.method);
        Put16(out, l.time);
        Put16(out, l.date);
        Put32(out, l.crc);
        Put32(out, compressed);
        Put32(out, uncompressed);
        Put16(out, static_cast<uint16_t>(l.name.size()));
        Put16(out, static_cast<uint16_t>(extra.size()));
        out += l.name + extra + e.payload + e.trailer;
    }
    out += gap;
    const uint64_t cdOffset = out.size() - base;
    std::vector<size_t> order = centralOrder;
    if (order.empty()) {
        for (size_t i = 0; i < m_entries.size(); ++i) {
            order.push_back(i);
        }
    }
    for (size_t i : order) {
        const Entry& e = m_entries[i];
        const uint64_t offset = e.offsetOverride.value_or(e.offset);
        std::string extra = e.centralExtra;
        if (e.zip64) {
            std::string values;
            Put64(values, e.uncompressedSize);
            Put64(values, e.compressedSize);
            Put64(values, offset);
            extra = ExtraField(0x0001, values) + extra;
        }
        out += std::string("PK\x01\x02", 4);
        Put16(out, static_cast<uint16_t>(e.system << 8 | e.versionMadeBy));
        Put16(out, e.versionNeeded);
        Put16(out, e.flags);
        Put16(out, e.method);
        Put16(out, e.time);
        Put16(out, e.date);
        Put32(out, e.crc);
        Put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.compressedSize));
        Put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.uncompressedSize));
        Put16(out, static_cast<uint16_t>(e.name.size()));
        Put16(out, static_cast<uint16_t>(extra.size()));
        Put16(out, static_cast<uint16_t>(e.comment.size()));
        Put16(out, e.diskStart);
        Put16(out, e.internalAttr);
        Put32(out, e.externalAttr);
        Put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(offset));
        out += e.name + extra + e.comment;
    }
    const uint64_t cdSize = out.size() - base - cdOffset;
    if (cdOffsetOut != nullptr) {
        *cdOffsetOut = cdOffset;
    }
    const auto count = static_cast<uint16_t>(order.size());
    if (end.zip64) {
        const uint64_t recordOffset = out.size() - base;
        out += end.zip64Signature;
        Put64(out, 44);
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, end.zip64ThisDisk.value_or(0));
        Put32(out, end.cdDisk.value_or(0));
        Put64(out, end.zip64Entries.value_or(order.size()));
        Put64(out, end.zip64Entries.value_or(order.size()));
        Put64(out, end.zip64CdSize.value_or(cdSize));
        Put64(out, end.zip64CdOffset.value_or(cdOffset));
        out += std::string("PK\x06\x07", 4);
        Put32(out, 0);
        Put64(out, recordOffset);
        Put32(out, 1);
    }
    out += std::string("PK\x05\x06", 4);
    Put16(out, end.thisDisk.value_or(0));
    Put16(out, end.cdDisk.value_or(0));
    Put16(out, end.volumeEntries.value_or(end.zip64 ? 0xFFFF : count));
    Put16(out, end.totalEntries.value_or(end.zip64 ? 0xFFFF : count));
    Put32(out, end.cdSize.value_or(end.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(cdSize)));
    Put32(out, end.cdOffset.value_or(end.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(cdOffset)));
    Put16(out, end.commentLength.value_or(static_cast<uint16_t>(end.comment.size())));
    out += end.comment;
    return out;
}

}  // namespace ziptest
