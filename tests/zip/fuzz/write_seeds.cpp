// Writes the crafted archives of the test table into a folder, as seeds for the fuzzer.
#include "crafted_cases.h"

#include <filesystem>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: zip-write-seeds FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    int written = 0;
    for (const auto& c : ziptest::CraftedCases()) {
        const ziptest::CraftedFiles files = c.make();
        if (files.archive.empty() || files.archive.size() > 65536) {
            continue;
        }
        std::ofstream(folder / (c.name + ".zip"), std::ios::binary) << files.archive;
        ++written;
    }
    std::cout << written << " crafted seeds\n";
    return 0;
}
