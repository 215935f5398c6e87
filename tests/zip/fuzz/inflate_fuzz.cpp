// libFuzzer target of the whole-entry inflate: the input is one deflate entry (a size, a
// CRC-32 and a stream), packed into a one-entry archive and extracted twice, once as the
// reader does (libdeflate, zlib where its result is not certainly the entry) and once by
// zlib alone. The return value or error code and the bytes written, a partial file
// included, must be the same; anything else is a finding.
//
// Input: byte 0 flags (bit 0: the header's CRC-32 is bytes 5-8; else bit 1: it is the CRC-32
// of what libdeflate alone makes of the stream when it accepts it, so that a stream it takes
// and zlib refuses would pass the reader's CRC check; else the CRC-32 of what zlib makes of
// it, as a sound archive has), bytes 1-4 the uncompressed size (little-endian, modulo
// 4 MiB), bytes 5-8 the CRC-32, the rest the stream.
#include "fuzz_machine.h"
#include "zip/zip_error.h"
#include "zip/zip_inflate.h"
#include "zip/zip_reader.h"
#include "zlib_only_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

std::vector<uint8_t> OneEntryArchive(const uint8_t* data, size_t size, uint32_t crc,
                                     uint32_t uncompressed) {
    std::vector<uint8_t> zip;
    Put(zip, 0x04034B50, 4);
    Put(zip, 20, 2);  // version needed
    Put(zip, 0, 2);   // flags
    Put(zip, 8, 2);   // deflate
    Put(zip, 0, 4);   // time, date
    Put(zip, crc, 4);
    Put(zip, size, 4);
    Put(zip, uncompressed, 4);
    Put(zip, 1, 2);  // name length
    Put(zip, 0, 2);
    zip.push_back('f');
    zip.insert(zip.end(), data, data + size);
    const size_t central = zip.size();
    Put(zip, 0x02014B50, 4);
    Put(zip, 20, 2);
    Put(zip, 20, 2);
    Put(zip, 0, 2);
    Put(zip, 8, 2);
    Put(zip, 0, 4);
    Put(zip, crc, 4);
    Put(zip, size, 4);
    Put(zip, uncompressed, 4);
    Put(zip, 1, 2);
    Put(zip, 0, 6);  // extra, comment, disk
    Put(zip, 0, 2);  // internal attributes
    Put(zip, 0, 4);  // external attributes
    Put(zip, 0, 4);  // local header offset
    zip.push_back('f');
    const size_t centralSize = zip.size() - central;
    Put(zip, 0x06054B50, 4);
    Put(zip, 0, 4);
    Put(zip, 1, 2);
    Put(zip, 1, 2);
    Put(zip, centralSize, 4);
    Put(zip, central, 4);
    Put(zip, 0, 2);
    return zip;
}

// The CRC-32 of what zlib's raw inflate makes of the stream, up to `limit` bytes.
uint32_t ZlibCrc(const uint8_t* data, size_t size, uint32_t limit) {
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    std::vector<uint8_t> out(limit);
    z.next_in = const_cast<uint8_t*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = limit;
    inflate(&z, Z_NO_FLUSH);
    const uLong crc = crc32(0, out.data(), limit - z.avail_out);
    inflateEnd(&z);
    return static_cast<uint32_t>(crc);
}

// The CRC-32 of what the reader's whole-entry inflate (libdeflate) makes of the stream into
// `limit` bytes, when it accepts the stream as the whole entry.
bool LibdeflateCrc(const uint8_t* data, size_t size, uint32_t limit, uint32_t& crc) {
    static zipcodec::CWholeInflater inflater;
    zipcodec::CWholeInflate job;
    job.m_input.Resize(size);
    std::copy(data, data + size, job.m_input.Data());
    job.m_output.Resize(limit);
    inflater.Run(job);
    crc = job.m_crc;
    return job.m_complete;
}

struct Outcome {
    int code = 0;  // 1 true, 0 false, else the error code
    bool exists = false;
    std::string bytes;
};

template <typename Reader>
Outcome Extract(const char* folder, const fs::path& hostFolder) {
    fuzzmachine::Renew(hostFolder);
    Outcome outcome;
    Reader reader;
    try {
        reader.Open("C:\\pkg\\a.zip", CZipReader::kModeReadOnly);
        outcome.code = reader.ExtractEntry(0, folder) ? 1 : 0;
        reader.Close(0);
    } catch (const CZipError& error) {
        outcome.code = error.Code();
        reader.Close(1);
    }
    std::ifstream file(hostFolder / "f", std::ios::binary);
    outcome.exists = file.is_open();
    outcome.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzmachine::Make();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) {
        return 0;
    }
    const uint32_t uncompressed =
        (data[1] | data[2] << 8 | data[3] << 16 | static_cast<uint32_t>(data[4]) << 24) %
        (4u << 20);
    const uint8_t* stream = data + 9;
    const size_t streamSize = size - 9;
    uint32_t crc = data[5] | data[6] << 8 | data[7] << 16 | static_cast<uint32_t>(data[8]) << 24;
    if ((data[0] & 1) == 0 &&
        ((data[0] & 2) == 0 || !LibdeflateCrc(stream, streamSize, uncompressed, crc))) {
        crc = ZlibCrc(stream, streamSize, uncompressed);
    }
    const std::vector<uint8_t> zip = OneEntryArchive(stream, streamSize, crc, uncompressed);
    const fs::path& machine = fuzzmachine::Folder();
    std::ofstream(machine / "drive_c" / "pkg" / "a.zip", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));

    const Outcome fast = Extract<CZipReader>("C:\\fast", machine / "drive_c" / "fast");
    const Outcome zlib = Extract<CZlibOnlyReader>("C:\\zlib", machine / "drive_c" / "zlib");
    if (fast.code != zlib.code || fast.exists != zlib.exists || fast.bytes != zlib.bytes) {
        std::fprintf(stderr, "differ: result %d and %d, file %d and %d, %zu and %zu bytes\n",
                     fast.code, zlib.code, fast.exists, zlib.exists, fast.bytes.size(),
                     zlib.bytes.size());
        std::abort();
    }
    return 0;
}
