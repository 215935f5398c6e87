// A second process for the contract tests: loads the machine given on the command line,
// takes one platform object (a named mutex, a shared file, a current folder), reports
// "ready <result>" on standard output and keeps the object until standard input closes.
//   platform_helper MACHINE mutex NAME
//   platform_helper MACHINE open PATH SHARE      (opens for reading with the share mode)
//   platform_helper MACHINE window TITLE
//   platform_helper --startup module             (StartUp, then "ready 0 MODULE|MACHINE" or
//                                               "ready 1 PROBLEM"; ends at once)
//   platform_helper MACHINE regwrite NAME COUNT  (writes COUNT registry values, reports)
//   platform_helper MACHINE cwd PATH             (reports "ready <0|error> <current folder>")
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/machine.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/startup.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: platform_helper MACHINE mutex|window|open|cwd ARG [SHARE]\n");
        return 2;
    }
    std::string problem;
    const std::string machine = argv[1];
    const std::string command = argv[2];
    if (machine == "--startup") {
        // As the installer starts: find the machine from where this executable lies.
        const bool started = platform::StartUp(problem);
        std::printf("ready %d %s\n", started ? 0 : 1,
                    started
                        ? (platform::ModulePath() + "|" + platform::posix::MachineFolder()).c_str()
                        : problem.c_str());
        std::fflush(stdout);
        return started ? 0 : 1;
    }
    if (argc < 4) {
        std::fprintf(stderr, "platform_helper: %s needs an argument\n", command.c_str());
        return 2;
    }
    if (!platform::posix::UseMachine(machine, problem)) {
        std::fprintf(stderr, "platform_helper: %s\n", problem.c_str());
        return 2;
    }
    platform::MutexHandle mutex;
    platform::CrtFile file;
    if (command == "mutex") {
        mutex = platform::CreateNamedMutex(argv[3]);
        std::printf("ready %u\n", mutex.IsValid() ? platform::LastError() : 0xFFFFFFFFu);
    } else if (command == "window") {
        static platform::WindowRegistration window(argv[3]);
        std::printf("ready %d\n", platform::FindTopLevelWindow(argv[3]) ? 0 : 1);
    } else if (command == "open" && argc == 5) {
        std::printf("ready %d\n", file.Open(argv[3], platform::CrtFile::kRead, std::atoi(argv[4])));
    } else if (command == "regwrite" && argc == 5) {
        // Writes COUNT values v0, v1, ... into SOFTWARE\Race\NAME, one write per call.
        long result = 0;
        for (int i = 0; i < std::atoi(argv[4]) && result == 0; ++i) {
            platform::RegistryHandle key = nullptr;
            result = platform::CreateRegistryKey(platform::LocalMachineRoot(),
                                                 std::string("SOFTWARE\\Race\\") + argv[3], 0,
                                                 platform::kKeyAllAccess, &key);
            if (result == 0) {
                const uint8_t value[4] = {static_cast<uint8_t>(i), 0, 0, 0};
                result = platform::SetRegistryValue(key, "v" + std::to_string(i),
                                                    platform::kRegDword, value, 4);
                platform::CloseRegistryKey(key);
            }
        }
        std::printf("ready %ld\n", result);
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
