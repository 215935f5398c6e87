// mivo-write-pe: writes a PE32+ executable, with a version resource when asked.
//   mivo-write-pe OUTPUT [--version a.b.c.d] [--product a.b.c.d] [--rcdata TEXT]
#include "pe_writer.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Parses "a.b.c.d" with each part in 0..65535.
bool ParseVersion(const std::string& text, pe::PeVersion& version) {
    uint16_t parts[4] = {};
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        size_t end = text.find('.', at);
        if ((i < 3) != (end != std::string::npos)) {
            return false;
        }
        const std::string part = text.substr(at, end == std::string::npos ? end : end - at);
        if (part.empty() || part.size() > 5 ||
            part.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        const unsigned long value = std::strtoul(part.c_str(), nullptr, 10);
        if (value > 0xFFFF) {
            return false;
        }
        parts[i] = static_cast<uint16_t>(value);
        at = end + 1;
    }
    version = {parts[0], parts[1], parts[2], parts[3]};
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: mivo-write-pe OUTPUT [--version a.b.c.d] [--product a.b.c.d] "
                 "[--rcdata TEXT]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    pe::PeImageOptions options;
    for (int i = 2; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            return Usage();
        }
        const std::string value = argv[i + 1];
        if (option == "--version") {
            options.hasVersion = ParseVersion(value, options.fileVersion);
            if (!options.hasVersion) {
                std::fprintf(stderr, "mivo-write-pe: not a version a.b.c.d: %s\n", value.c_str());
                return 2;
            }
        } else if (option == "--product") {
            options.hasProductVersion = ParseVersion(value, options.productVersion);
            if (!options.hasProductVersion) {
                std::fprintf(stderr, "mivo-write-pe: not a version a.b.c.d: %s\n", value.c_str());
                return 2;
            }
        } else if (option == "--rcdata") {
            options.rcData = value;
        } else {
            return Usage();
        }
    }
    if (options.hasProductVersion && !options.hasVersion) {
        std::fprintf(stderr, "mivo-write-pe: --product needs --version\n");
        return 2;
    }
    std::string problem;
    if (!pe::WritePeFile(argv[1], options, problem)) {
        std::fprintf(stderr, "mivo-write-pe: %s\n", problem.c_str());
        return 1;
    }
    return 0;
}
