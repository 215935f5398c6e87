// zip-bench ARCHIVE [PAIRS]: decompresses every entry of a (deflate, non-Zip64) archive to
// memory, through zlib's raw inflate with crc32 alone and through CZipReader, in PAIRS
// (default 5) pairs taken in turn, and prints the median of the pairs' ratios reader / zlib
// with their spread, for wall and for CPU time (the process's, all threads). Run by
// zip_bench.py; it prints figures and asserts nothing. `zip-bench ARCHIVE RUNS reader` (or
// `zlib`) runs one side alone RUNS times, for a profiler.
#include "platform/posix/machine.h"
#include "zip/zip_error.h"
#include "zip/zip_reader.h"

#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct RawEntry {
    uint64_t offset = 0;  // of the local header
    uint32_t compressed = 0;
    uint32_t uncompressed = 0;
    uint32_t crc = 0;
    uint16_t method = 0;
};

uint32_t Get16(const unsigned char* p) {
    return p[0] | p[1] << 8;
}
uint32_t Get32(const unsigned char* p) {
    return Get16(p) | Get16(p + 2) << 16;
}

// The central directory of a plain archive, read the simplest way a benchmark may.
std::vector<RawEntry> ReadDirectory(std::ifstream& file) {
    file.seekg(0, std::ios::end);
    const auto size = static_cast<uint64_t>(file.tellg());
    const uint64_t tail = std::min<uint64_t>(size, 65557);
    std::vector<unsigned char> end(tail);
    file.seekg(static_cast<std::streamoff>(size - tail));
    file.read(reinterpret_cast<char*>(end.data()), static_cast<std::streamsize>(tail));
    size_t at = tail - 22;
    while (at > 0 && Get32(&end[at]) != 0x06054b50) {
        --at;
    }
    const uint32_t count = Get16(&end[at + 10]);
    const uint32_t cdSize = Get32(&end[at + 12]);
    const uint32_t cdOffset = Get32(&end[at + 16]);
    std::vector<unsigned char> cd(cdSize);
    file.seekg(cdOffset);
    file.read(reinterpret_cast<char*>(cd.data()), cdSize);
    std::vector<RawEntry> entries;
    size_t p = 0;
    for (uint32_t i = 0; i < count; ++i) {
        RawEntry e;
        e.method = static_cast<uint16_t>(Get16(&cd[p + 10]));
        e.crc = Get32(&cd[p + 16]);
        e.compressed = Get32(&cd[p + 20]);
        e.uncompressed = Get32(&cd[p + 24]);
        e.offset = Get32(&cd[p + 42]);
        entries.push_back(e);
        p += 46 + Get16(&cd[p + 28]) + Get16(&cd[p + 30]) + Get16(&cd[p + 32]);
    }
    return entries;
}

// Raw inflate and crc32 of every entry, reading the archive in 128 KiB blocks as the reader
// does, into a 64 KiB output block; returns the bytes produced.
uint64_t InflateAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<RawEntry> entries = ReadDirectory(file);
    std::vector<unsigned char> in(131072);
    std::vector<unsigned char> out(65536);
    uint64_t produced = 0;
    for (const RawEntry& e : entries) {
        unsigned char local[30];
        file.seekg(static_cast<std::streamoff>(e.offset));
        file.read(reinterpret_cast<char*>(local), 30);
        file.seekg(Get16(local + 26) + Get16(local + 28), std::ios::cur);
        uint64_t left = e.compressed;
        uLong crc = crc32(0, nullptr, 0);
        if (e.method == 0) {
            while (left > 0) {
                const auto n = static_cast<std::streamsize>(std::min<uint64_t>(left, out.size()));
                file.read(reinterpret_cast<char*>(out.data()), n);
                crc = crc32(crc, out.data(), static_cast<uInt>(n));
                left -= static_cast<uint64_t>(n);
                produced += static_cast<uint64_t>(n);
            }
        } else {
            z_stream z{};
            inflateInit2(&z, -15);
            int result = Z_OK;
            while (result != Z_STREAM_END) {
                if (z.avail_in == 0 && left > 0) {
                    const auto n =
                        static_cast<std::streamsize>(std::min<uint64_t>(left, in.size()));
                    file.read(reinterpret_cast<char*>(in.data()), n);
                    left -= static_cast<uint64_t>(n);
                    z.next_in = in.data();
                    z.avail_in = static_cast<uInt>(n);
                }
                z.next_out = out.data();
                z.avail_out = static_cast<uInt>(out.size());
                result = inflate(&z, Z_NO_FLUSH);
                if (result != Z_OK && result != Z_STREAM_END) {
                    std::fprintf(stderr, "inflate failed: %d\n", result);
                    std::exit(1);
                }
                const uInt n = static_cast<uInt>(out.size()) - z.avail_out;
                crc = crc32(crc, out.data(), n);
                produced += n;
            }
            inflateEnd(&z);
        }
        if (crc != e.crc) {
            std::fprintf(stderr, "CRC differs\n");
            std::exit(1);
        }
    }
    return produced;
}

// The same through the reader: every entry opened, read to memory in 64 KiB blocks and
// closed with its CRC check.
uint64_t ReadAll(const std::string& windowsPath) {
    CZipReader reader;
    reader.Open(windowsPath, 3);
    std::vector<char> out(65536);
    uint64_t produced = 0;
    for (uint64_t i = 0; i < reader.GetEntryCount(); ++i) {
        if (!reader.OpenEntry(i)) {
            throw CZipError(CZipError::kGeneric, "entry " + std::to_string(i) + " not opened");
        }
        while (const size_t n = reader.ReadEntryData(out.data(), out.size())) {
            produced += n;
        }
        if (reader.CloseEntry() != CZipReader::kEntryComplete) {
            throw CZipError(CZipError::kBadArchive, "entry " + std::to_string(i) + " incomplete");
        }
    }
    reader.Close(0);
    return produced;
}

struct Times {
    double wall = 0;
    double cpu = 0;  // user + system, every thread of the process
};

double ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

template <typename Work>
Times Timed(Work work, uint64_t& produced) {
    const double cpu = ProcessCpu();
    const auto start = std::chrono::steady_clock::now();
    produced = work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {took.count(), ProcessCpu() - cpu};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PrintRatios(const char* what, const std::vector<double>& reader,
                 const std::vector<double>& raw) {
    std::vector<double> ratios;
    for (size_t i = 0; i < reader.size(); ++i) {
        ratios.push_back(reader[i] / raw[i]);
    }
    std::printf("  %-5s reader / zlib median %.2f (spread %.2f-%.2f); %.3f s and %.3f s\n", what,
                Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), Median(reader), Median(raw));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zip-bench ARCHIVE [RUNS [reader|zlib]]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int runs = std::max(1, argc > 2 ? std::atoi(argv[2]) : 5);
    platform::posix::UseHostRoot();
    std::string windowsPath;
    if (!platform::posix::WindowsPathOf(path, windowsPath)) {
        std::fprintf(stderr, "no Windows path for %s\n", path.c_str());
        return 1;
    }
    const std::string only = argc > 3 ? argv[3] : "";
    try {
        if (only == "reader" || only == "zlib") {
            std::vector<double> cpu;
            uint64_t bytes = 0;
            for (int i = 0; i < runs; ++i) {
                cpu.push_back(only == "reader"
                                  ? Timed([&] { return ReadAll(windowsPath); }, bytes).cpu
                                  : Timed([&] { return InflateAll(path); }, bytes).cpu);
            }
            std::printf("  %s alone: CPU median %.3f s (%.3f-%.3f), %.1f MB\n", only.c_str(),
                        Median(cpu), *std::min_element(cpu.begin(), cpu.end()),
                        *std::max_element(cpu.begin(), cpu.end()),
                        static_cast<double>(bytes) / 1e6);
            return 0;
        }
        uint64_t rawBytes = 0;
        uint64_t readerBytes = 0;
        std::vector<double> rawWall, rawCpu, readerWall, readerCpu;
        for (int i = 0; i < runs; ++i) {
            const Times raw = Timed([&] { return InflateAll(path); }, rawBytes);
            const Times reader = Timed([&] { return ReadAll(windowsPath); }, readerBytes);
            rawWall.push_back(raw.wall);
            rawCpu.push_back(raw.cpu);
            readerWall.push_back(reader.wall);
            readerCpu.push_back(reader.cpu);
        }
        std::printf("  %d pairs in turn, %.1f MB produced each run (target: CPU 0.50 or less)\n",
                    runs, static_cast<double>(readerBytes) / 1e6);
        PrintRatios("wall", readerWall, rawWall);
        PrintRatios("CPU", readerCpu, rawCpu);
        if (rawBytes != readerBytes) {
            std::printf("  the two produced different amounts: %llu and %llu bytes\n",
                        static_cast<unsigned long long>(rawBytes),
                        static_cast<unsigned long long>(readerBytes));
            return 1;
        }
    } catch (const CZipError& error) {
        std::fprintf(stderr, "zip-bench: error %d: %s: %s\n", error.Code(),
                     error.Describe().c_str(), error.Path().c_str());
        return 1;
    }
    return 0;
}
