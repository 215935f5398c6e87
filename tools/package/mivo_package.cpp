// mivo-package: makes the exam packages and package databases of a package folder, and
// checks a package folder as the installer will read it.
//   mivo-package PACKAGE-FOLDER [--ordinal N] [--kind K] [--levels 1234] [--no-database]
//   mivo-package check [--json] PACKAGE-FOLDER
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "package_builder.h"
#include "package_check.h"

namespace {

constexpr char kUsage[] =
    "usage: mivo-package PACKAGE-FOLDER [--ordinal N] [--kind K] [--levels 1234] "
    "[--no-database]\n"
    "       mivo-package check [--json] PACKAGE-FOLDER\n"
    "\n"
    "The first form makes sample exam packages and databases in PACKAGE-FOLDER.\n"
    "check reads PACKAGE-FOLDER as the installer will and prints one line per finding\n"
    "(ok, note, warning, error) and a summary; --json prints the same as one JSON\n"
    "document. It writes nothing into the folder. Exit status: 0 when the installer would\n"
    "install every level present, 1 when there is an error, 2 for wrong usage.\n";

int Check(int argc, char** argv) {
    bool asJson = false;
    std::string folder;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            asJson = true;
        } else if (folder.empty() && !arg.empty() && arg[0] != '-') {
            folder = arg;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (folder.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const package::CheckReport report = package::CheckPackageFolder(folder);
    if (asJson) {
        const std::string text = package::ReportJson(report).dump(
            2, ' ', false, nlohmann::json::error_handler_t::replace);
        std::printf("%s\n", text.c_str());
    } else {
        std::fputs(package::ReportText(report).c_str(), stdout);
    }
    return report.Passed() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0) {
        return Check(argc, argv);
    }
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2 || argv[1][0] == '-') {
        std::fputs(kUsage, stderr);
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
