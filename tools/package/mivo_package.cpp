// mivo-package: makes the exam packages and package databases of a package folder.
//   mivo-package PACKAGE-FOLDER [--ordinal N] [--kind K] [--levels 1234] [--no-database]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "package_builder.h"

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr,
                     "usage: mivo-package PACKAGE-FOLDER [--ordinal N] [--kind K] [--levels 1234] "
                     "[--no-database]\n");
        return 2;
    }
    int ordinal = 112;
    int kind = 1;
    std::string levels = "1234";
    bool database = true;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--ordinal" && i + 1 < argc) {
            ordinal = std::atoi(argv[++i]);
        } else if (option == "--kind" && i + 1 < argc) {
            kind = std::atoi(argv[++i]);
        } else if (option == "--levels" && i + 1 < argc) {
            levels = argv[++i];
        } else if (option == "--no-database") {
            database = false;
        } else {
            std::fprintf(stderr, "mivo-package: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    std::vector<int> levelList;
    for (char c : levels) {
        if (c < '1' || c > '4') {
            levelList.clear();
            break;
        }
        levelList.push_back(c - '0');
    }
    if (levelList.empty()) {
        std::fprintf(stderr,
                     "mivo-package: --levels takes digits 1 to 4 (such as 13), not \"%s\"\n",
                     levels.c_str());
        return 2;
    }
    std::string problem;
    if (!package::BuildBaseData(argv[1], ordinal, kind, levelList, database,
                                package::SampleExaminees(), problem)) {
        std::fprintf(stderr, "mivo-package: %s\n", problem.c_str());
        return 1;
    }
    return 0;
}
