// The temporary machine of the fuzz targets: drive C: with the archive's folder C:\pkg and
// the system folder, loaded as the platform's machine, removed at exit. Writes are capped
// at 16 MiB (a small input may inflate to gigabytes, and the machine may live in memory):
// past that a write fails with EFBIG, which the reader reports like any write error.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/machine.h"

namespace fuzzmachine {

inline std::filesystem::path& Folder() {
    static std::filesystem::path folder;
    return folder;
}

/// Makes and loads the machine; aborts when it cannot.
inline void Make() {
    namespace fs = std::filesystem;
    std::string folder = (fs::temp_directory_path() / "mivo-zip-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    Folder() = folder;
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(Folder(), ec);
    });
    fs::create_directories(Folder() / "drive_c" / "Windows" / "system32");
    fs::create_directories(Folder() / "drive_c" / "pkg");
    std::ofstream(Folder() / "machine.ini") << "[drives]\nC = fixed, drive_c\n";
    std::ofstream(Folder() / "registry.reg") << "Windows Registry Editor Version 5.00\n";
    std::string problem;
    if (!platform::posix::UseMachine(folder, problem)) {
        std::fprintf(stderr, "cannot load the fuzz machine: %s\n", problem.c_str());
        std::abort();
    }
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16u << 20, 16u << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
}

/// Empties (and makes writable first) the host folder `out`, and makes it anew.
inline void Renew(const std::filesystem::path& out) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(out, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(out, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(out, ec);
    fs::create_directories(out);
}

}  // namespace fuzzmachine
