// mivo-zip: the installer's zip reader for people who prepare packages, on Linux host paths.
// It lists an archive, tests every entry without writing, or extracts it exactly as the
// installer does; failures are one line on standard error with the reader's code.
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "declined_entry.h"
#include "platform/crt_errno.h"
#include "platform/posix/machine.h"
#include "zip/zip_reader.h"

namespace {

constexpr char kUsage[] =
    "usage: mivo-zip list [--password PW] ARCHIVE\n"
    "       mivo-zip test [--password PW] ARCHIVE\n"
    "       mivo-zip extract [--password PW] ARCHIVE FOLDER\n"
    "\n"
    "list     one line per entry, in index order (the order of the entries' data in the\n"
    "         archive), fields separated by tabs:\n"
    "           INDEX NAME COMPRESSED-SIZE UNCOMPRESSED-SIZE METHOD CRC TIME ATTRIBUTES\n"
    "         NAME as the reader decodes it (UTF-8, backslashes between folders, control\n"
    "         characters shown as '?'); METHOD the compression method number (0 stored,\n"
    "         8 deflate, 12 bzip2); CRC 8 lower-case hex digits; TIME the entry's MS-DOS\n"
    "         time as YYYY-MM-DD HH:MM:SS; ATTRIBUTES the Windows attributes extraction\n"
    "         gives the entry as 0xHEX (upper-case digits), or 'none' when its system has\n"
    "         no attribute conversion (extraction fails with error 219).\n"
    "test     decompresses and checks every entry without writing anything; prints\n"
    "         'N entries OK' and exits 0 only when every entry is sound.\n"
    "extract  creates FOLDER if missing and extracts every entry in index order exactly\n"
    "         as the installer does (the archive is opened read-only),\n"
    "         stopping at the first entry that fails.\n"
    "\n"
    "ARCHIVE is a one-file archive, the last volume (.zip) of an archive split by zip\n"
    "(.z01, .z02, ... beside it), or any part of an archive cut into byte-wise parts\n"
    "(.001, .002, ...).\n"
    "\n"
    "--password PW decrypts encrypted entries (traditional zip encryption and AES), PW\n"
    "taken as its bytes; without it an encrypted file entry fails with error 213, as a\n"
    "wrong password does.\n"
    "\n"
    "A failure prints one line on standard error and exits 1:\n"
    "  mivo-zip: error CODE: DESCRIPTION: PATH\n"
    "CODE is the reader's code (200-224, zlib 500-507, bzip2 600-608, below 200 the C\n"
    "runtime's errno number of a file operation), or 0 when the reader declined an entry\n"
    "without an error (compression method not supported, data shorter than its size,\n"
    "time or attributes not set). PATH is the file concerned (empty when none).\n"
    "Exit status 2: wrong usage.\n";

// Thrown for failures of the tool itself that carry no reader code of their own.
struct ToolFailure {
    int code;
    std::string description;
    std::string path;
};

// The tool's machine maps drive Z: onto the host's root, so a Windows path of the reader
// reads back as a host path without resolving anything (a refused "..\x" stays visible).
std::string HostPathForMessage(const std::string& windowsPath) {
    std::string path = windowsPath;
    if (path.rfind("\\\\?\\", 0) == 0) {
        path.erase(0, 4);
    }
    if (path.size() < 3 || (path[0] != 'Z' && path[0] != 'z') || path[1] != ':' ||
        path[2] != '\\') {
        return windowsPath;
    }
    path.erase(0, 2);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

[[noreturn]] void Fail(int code, const std::string& description, const std::string& path) {
    std::fprintf(stderr, "mivo-zip: error %d: %s: %s\n", code, description.c_str(), path.c_str());
    std::fflush(stdout);
    std::exit(1);
}

std::string WindowsPath(const std::string& hostPath) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(hostPath, ec);
    std::string windows;
    if (ec || !platform::posix::WindowsPathOf(absolute.lexically_normal().string(), windows)) {
        throw ToolFailure{platform::kErrnoNoEnt, "path cannot be reached", hostPath};
    }
    return windows;
}

std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

int List(CZipReader& reader) {
    for (uint64_t i = 0; i < reader.GetEntryCount(); ++i) {
        CZipEntry& entry = *reader.GetEntryInfo(i);
        std::string attributes = "none";
        if (entry.HasAttributeConversion()) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%X", entry.GetSystemAttributes());
            attributes = text;
        }
        std::printf("%llu\t%s\t%llu\t%llu\t%u\t%08x\t%04d-%02d-%02d %02d:%02d:%02d\t%s\n",
                    static_cast<unsigned long long>(i), Printable(entry.GetFileName()).c_str(),
                    static_cast<unsigned long long>(entry.m_compressedSize),
                    static_cast<unsigned long long>(entry.m_uncompressedSize),
                    static_cast<unsigned>(entry.m_method), static_cast<unsigned>(entry.m_crc32),
                    1980 + (entry.m_modDate >> 9), (entry.m_modDate >> 5) & 0xF,
                    entry.m_modDate & 0x1F, entry.m_modTime >> 11, (entry.m_modTime >> 5) & 0x3F,
                    2 * (entry.m_modTime & 0x1F), attributes.c_str());
    }
    return 0;
}

int Test(CZipReader& reader) {
    uint64_t count = reader.GetEntryCount();
    for (uint64_t i = 0; i < count; ++i) {
        if (!reader.TestEntry(i)) {
            CZipEntry& entry = *reader.GetEntryInfo(i);
            throw ToolFailure{0, DeclinedEntryReason(entry, "sound"), entry.GetFileName()};
        }
    }
    std::printf("%llu entries OK\n", static_cast<unsigned long long>(count));
    return 0;
}

int Extract(CZipReader& reader, const std::string& folder) {
    for (uint64_t i = 0; i < reader.GetEntryCount(); ++i) {
        if (!reader.ExtractEntry(i, folder)) {
            CZipEntry& entry = *reader.GetEntryInfo(i);
            std::string path = reader.ComputeExtractPath(entry.GetFileName(), folder);
            throw ToolFailure{0, DeclinedEntryReason(entry, "extracted"), HostPathForMessage(path)};
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::string password;
    bool hasPassword = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--password" && !hasPassword && i + 1 < argc) {
            password = argv[++i];
            hasPassword = true;
        } else {
            args.push_back(arg);
        }
    }
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string command = args[0];
    bool wantsFolder = command == "extract";
    if ((command != "list" && command != "test" && !wantsFolder) ||
        args.size() != (wantsFolder ? 3u : 2u)) {
        if (command == "-h" || command == "--help" || command == "help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fputs(kUsage, stderr);
        return 2;
    }

    platform::posix::UseHostRoot();
    CZipReader reader;
    try {
        std::string archive = WindowsPath(args[1]);
        std::string folder;
        if (wantsFolder) {
            std::error_code ec;
            std::filesystem::create_directories(args[2], ec);
            if (ec) {
                throw ToolFailure{ec == std::errc::permission_denied ? platform::kErrnoAccess
                                                                     : platform::kErrnoNoEnt,
                                  "folder cannot be created", args[2]};
            }
            folder = WindowsPath(args[2]);
        }
        // The installer opens packages read-only, so that write-protected media work.
        reader.Open(archive, CZipReader::kModeReadOnly);
        reader.SetPassword(password);
        int result = command == "list"   ? List(reader)
                     : command == "test" ? Test(reader)
                                         : Extract(reader, folder);
        reader.Close();
        std::fflush(stdout);
        return result;
    } catch (const CZipError& error) {
        reader.Close(CZipReader::kCloseAfterException);
        Fail(error.Code(), error.Describe(), HostPathForMessage(error.Path()));
    } catch (const ToolFailure& failure) {
        reader.Close(CZipReader::kCloseAfterException);
        Fail(failure.code, failure.description, failure.path);
    } catch (const std::bad_alloc&) {
        reader.Close(CZipReader::kCloseAfterException);
        Fail(platform::kErrnoNoMem, "out of memory", "");
    }
}
