// libFuzzer target of the zip reader: the input is an archive, opened and extracted entry by
// entry into a temporary folder of a temporary machine, exactly as the installer does.
// A crash, a sanitizer report, an exception other than CZipError, a leak, or a file written
// outside the destination folder is a finding.
#include "platform/posix/machine.h"
#include "zip/zip_error.h"
#include "zip/zip_reader.h"

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path g_machine;  // host folder of the temporary machine

void RemoveMachine() {
    std::error_code ec;
    fs::remove_all(g_machine, ec);
}

// Anything but the archive's folder, the output folder and the system folder on C:, or
// anything new beside the drive in the machine folder, was written where no entry may go.
void CheckNothingOutside() {
    for (const auto& item : fs::directory_iterator(g_machine)) {
        const std::string name = item.path().filename().string();
        if (name != "drive_c" && name != "machine.ini" && name != "registry.reg" && name != "run") {
            std::fprintf(stderr, "written outside the folder: %s\n", item.path().c_str());
            std::abort();
        }
    }
    for (const auto& item : fs::directory_iterator(g_machine / "drive_c")) {
        const std::string name = item.path().filename().string();
        if (name != "pkg" && name != "out" && name != "Windows") {
            std::fprintf(stderr, "written outside the folder: %s\n", item.path().c_str());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string folder = (fs::temp_directory_path() / "mivo-zip-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_machine = folder;
    std::atexit(RemoveMachine);
    fs::create_directories(g_machine / "drive_c" / "Windows" / "system32");
    fs::create_directories(g_machine / "drive_c" / "pkg");
    std::ofstream(g_machine / "machine.ini") << "[drives]\nC = fixed, drive_c\n";
    std::ofstream(g_machine / "registry.reg") << "Windows Registry Editor Version 5.00\n";
    std::string problem;
    if (!platform::posix::UseMachine(folder, problem)) {
        std::fprintf(stderr, "cannot load the fuzz machine: %s\n", problem.c_str());
        std::abort();
    }
    // A small input may inflate to gigabytes, and the machine may live in memory; past this
    // size a write fails (EFBIG) instead, and the reader must report that like any write error.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16u << 20, 16u << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream archive(g_machine / "drive_c" / "pkg" / "a.zip",
                              std::ios::binary | std::ios::trunc);
        archive.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::error_code ec;
    const fs::path out = g_machine / "drive_c" / "out";
    fs::permissions(out, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(out, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(out, ec);
    fs::create_directories(out);

    CZipReader reader;
    try {
        reader.Open("C:\\pkg\\a.zip", 1);
        const size_t count = reader.GetEntryCount();
        for (size_t i = 0; i < count; ++i) {
            CZipEntry* entry = reader.GetEntryInfo(i);
            if (entry == nullptr) {
                std::abort();  // an index below the count always has an entry
            }
            (void)entry->GetFileName();
            if (!reader.ExtractEntry(i, "C:\\out")) {
                break;
            }
        }
        reader.Close(0);
    } catch (const CZipError&) {
        reader.Close(1);
    }
    CheckNothingOutside();
    return 0;
}
