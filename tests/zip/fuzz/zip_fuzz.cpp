// libFuzzer target of the zip reader: the input is an archive, opened and extracted entry by
// entry into a temporary folder of a temporary machine, exactly as the installer does.
// A crash, a sanitizer report, an exception other than CZipError, a leak, or a file written
// outside the destination folder is a finding.
#include "fuzz_machine.h"
#include "zip/zip_error.h"
#include "zip/zip_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Anything but the archive's folder, the output folder and the system folder on C:, or
// anything new beside the drive in the machine folder, was written where no entry may go.
void CheckNothingOutside() {
    const fs::path& machine = fuzzmachine::Folder();
    for (const auto& item : fs::directory_iterator(machine)) {
        const std::string name = item.path().filename().string();
        if (name != "drive_c" && name != "machine.ini" && name != "registry.reg" && name != "run") {
            std::fprintf(stderr, "written outside the folder: %s\n", item.path().c_str());
            std::abort();
        }
    }
    for (const auto& item : fs::directory_iterator(machine / "drive_c")) {
        const std::string name = item.path().filename().string();
        if (name != "pkg" && name != "out" && name != "Windows") {
            std::fprintf(stderr, "written outside the folder: %s\n", item.path().c_str());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzmachine::Make();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path& machine = fuzzmachine::Folder();
    {
        std::ofstream archive(machine / "drive_c" / "pkg" / "a.zip",
                              std::ios::binary | std::ios::trunc);
        archive.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    fuzzmachine::Renew(machine / "drive_c" / "out");

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
