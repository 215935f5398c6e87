// mivo-machine: makes a simulated Windows machine for the installer.
//   mivo-machine FOLDER [--installer PATH] [--standin PATH] [--script FILE]
//                [--no-main-program] [--no-path-value] [--db-version A.B.C.D|none]
//                [--tandrel-date YYYY-MM-DD] [--display-version TEXT|none]
//                [--packing-date N|none] [--omit NAME] [--system-drive L]
//                [--package-drive L] [--package-drive-type TYPE] [--drive "L = type, folder"]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "machine_builder.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: mivo-machine FOLDER [--installer PATH] [--standin PATH] [--script FILE]\n"
                 "       [--no-main-program] [--no-path-value] [--db-version A.B.C.D|none]\n"
                 "       [--tandrel-date YYYY-MM-DD] [--display-version TEXT|none]\n"
                 "       [--packing-date N|none] [--omit NAME] [--system-drive L]\n"
                 "       [--package-drive L] [--package-drive-type TYPE] [--drive \"L = type, "
                 "folder\"]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        return Usage();
    }
    machine::MachineRecipe recipe;
    recipe.folder = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "mivo-machine: %s needs a value\n", option.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (option == "--installer") {
            recipe.installer = value();
        } else if (option == "--standin") {
            recipe.standin = value();
        } else if (option == "--script") {
            std::ifstream in(value());
            std::vector<std::string> lines;
            for (std::string line; std::getline(in, line);) {
                lines.push_back(line);
            }
            recipe.script = lines;
        } else if (option == "--no-main-program") {
            recipe.mainProgram = false;
        } else if (option == "--no-path-value") {
            recipe.writePathValue = false;
        } else if (option == "--db-version") {
            const std::string v = value();
            if (v == "none") {
                recipe.dbServerVersion.reset();
            } else {
                unsigned a = 0, b = 0, c = 0, d = 0;
                if (std::sscanf(v.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) < 3) {
                    return Usage();
                }
                recipe.dbServerVersion =
                    pe::PeVersion{static_cast<uint16_t>(a), static_cast<uint16_t>(b),
                                  static_cast<uint16_t>(c), static_cast<uint16_t>(d)};
            }
        } else if (option == "--tandrel-date") {
            recipe.tandrelDate = value();
        } else if (option == "--display-version") {
            const std::string v = value();
            recipe.displayVersion = v == "none" ? std::nullopt : std::optional<std::string>(v);
        } else if (option == "--packing-date") {
            const std::string v = value();
            if (v == "none") {
                recipe.packingDate.reset();
            } else {
                recipe.packingDate = machine::PackingDateBytes(std::atoi(v.c_str()));
            }
        } else if (option == "--omit") {
            recipe.omitComponents.push_back(value());
        } else if (option == "--system-drive") {
            recipe.systemDrive = value()[0];
        } else if (option == "--package-drive") {
            recipe.packageDrive = value()[0];
        } else if (option == "--package-drive-type") {
            recipe.packageDriveType = value();
        } else if (option == "--drive") {
            recipe.extraDrives.push_back(value());
        } else {
            return Usage();
        }
    }
    std::string problem;
    if (!machine::BuildMachine(recipe, problem)) {
        std::fprintf(stderr, "mivo-machine: %s\n", problem.c_str());
        return 1;
    }
    // The installer's path only when one was placed there; a machine for another installer
    // (the Windows build under Wine) is made without.
    if (!recipe.installer.empty()) {
        std::printf("%s\n", machine::InstallerHostPath(recipe).c_str());
    } else {
        std::fprintf(stderr,
                     "mivo-machine: made %s without an installer; --installer PATH copies mivo "
                     "into its package folder%s\n",
                     recipe.folder.c_str(),
                     recipe.standin.empty()
                         ? ", and --standin PATH lets mivo-standin play the main program"
                         : "");
    }
    return 0;
}
