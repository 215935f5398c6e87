// A second process for the contract tests: loads the machine given on the command line,
// takes one platform object (a named mutex, a shared file, a current folder), reports
// "ready <result>" on standard output and keeps the object until standard input closes.
//   platform_helper MACHINE mutex NAME
//   platform_helper MACHINE open PATH SHARE      (opens for reading with the share mode)
//   platform_helper MACHINE cwd PATH             (reports "ready <0|error> <current folder>")
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/machine.h"
#include "platform/process.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: platform_helper MACHINE mutex|open|cwd ARG [SHARE]\n");
        return 2;
    }
    std::string problem;
    if (!platform::posix::UseMachine(argv[1], problem)) {
        std::fprintf(stderr, "platform_helper: %s\n", problem.c_str());
        return 2;
    }
    const std::string command = argv[2];
    platform::MutexHandle mutex;
    platform::CrtFile file;
    if (command == "mutex") {
        mutex = platform::CreateNamedMutex(argv[3]);
        std::printf("ready %u\n", mutex.IsValid() ? platform::LastError() : 0xFFFFFFFFu);
    } else if (command == "open" && argc == 5) {
        std::printf("ready %d\n", file.Open(argv[3], platform::CrtFile::kRead, std::atoi(argv[4])));
    } else if (command == "cwd") {
        std::string current;
        const bool changed = platform::ChangeCurrentFolder(argv[3]);
        platform::CurrentFolder(current);
        std::printf("ready %u %s\n", changed ? 0u : platform::LastError(), current.c_str());
    } else {
        std::fprintf(stderr, "platform_helper: unknown command %s\n", command.c_str());
        return 2;
    }
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
