// zip-write-crafted FOLDER [MAX-BYTES]: writes the crafted archives of the test table into
// FOLDER (NAME.zip, and the files beside it under NAME.parts/) with a manifest.tsv of
// "name, expected end, plain" lines; plain cases need no machine set-up, drive, mask or
// extra volume, so that a tool given only the file must end the same way. Archives larger
// than MAX-BYTES are left out (the fuzzer's seeds keep to 64 KiB).
#include "crafted_cases.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: zip-write-crafted FOLDER [MAX-BYTES]\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const size_t maxBytes = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : SIZE_MAX;
    std::filesystem::create_directories(folder);
    std::ofstream manifest(folder / "manifest.tsv");
    int written = 0;
    for (const auto& c : ziptest::CraftedCases()) {
        const ziptest::CraftedFiles files = c.make();
        if (files.archive.empty() || files.archive.size() > maxBytes) {
            continue;
        }
        std::ofstream(folder / (c.name + ".zip"), std::ios::binary) << files.archive;
        for (const auto& [name, bytes] : files.beside) {
            std::filesystem::create_directories(folder / (c.name + ".parts"));
            std::ofstream(folder / (c.name + ".parts") / name, std::ios::binary) << bytes;
        }
        const bool plain = c.where == "C:\\pkg\\a.zip" && c.mode == 1 && !c.setup &&
                           !c.ignoredChecks && files.beside.empty();
        manifest << c.name << '\t' << c.expect << '\t' << (plain ? 1 : 0) << '\n';
        ++written;
    }
    std::cout << written << " crafted archives\n";
    return 0;
}
