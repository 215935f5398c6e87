// mivo-standin: plays the programs outside the installer on a simulated machine.
//   mivo-standin main-program   holds the mutex "Sorvane+α" while it runs
//   mivo-standin db-server      holds the window "DBMS Server" while it runs
// Each start is recorded in run/started.log. It runs until it is terminated, until the
// file run/stop-ROLE appears, or until its lifetime ends (--lifetime SECONDS, default 600).
// The machine is the one named by MIVO_MACHINE, which the platform sets for the programs it
// starts.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/posix/machine.h"
#include "platform/process.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: mivo-standin main-program|db-server [--lifetime SECONDS] [ARGS...]\n"
                 "The machine is taken from MIVO_MACHINE.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::string role = argv[1];
    if (role != "main-program" && role != "db-server") {
        return Usage();
    }
    long lifetime = 600;
    std::string arguments;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--lifetime") == 0 && i + 1 < argc) {
            lifetime = std::strtol(argv[++i], nullptr, 10);
        } else {
            arguments += std::string(arguments.empty() ? "" : " ") + argv[i];
        }
    }
    const char* machine = std::getenv("MIVO_MACHINE");
    if (machine == nullptr || *machine == '\0') {
        std::fprintf(stderr, "mivo-standin: MIVO_MACHINE names no machine\n");
        return 2;
    }
    std::string problem;
    if (!platform::posix::UseMachine(machine, problem)) {
        std::fprintf(stderr, "mivo-standin: %s\n", problem.c_str());
        return 2;
    }

    std::optional<platform::MutexHandle> mutex;
    std::optional<platform::WindowRegistration> window;
    if (role == "main-program") {
        mutex.emplace(platform::CreateNamedMutex("Sorvane+α"));
    } else {
        window.emplace("DBMS Server");
    }

    char cwd[4096] = {};
    if (getcwd(cwd, sizeof cwd - 1) == nullptr) {
        cwd[0] = '\0';
    }
    std::string windowsCwd;
    if (!platform::posix::WindowsPathOf(cwd, windowsCwd)) {
        windowsCwd = cwd;
    }
    const std::filesystem::path run = std::filesystem::path(machine) / "run";
    std::filesystem::create_directories(run);
    {
        char stamp[32];
        const std::time_t now = std::time(nullptr);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
        std::ofstream log(run / "started.log", std::ios::app);
        log << stamp << " role=" << role << " pid=" << getpid() << " folder=" << windowsCwd
            << " args=" << arguments << "\n";
    }

    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    const std::filesystem::path stopFile = run / ("stop-" + role);
    for (long waited = 0; !g_stop && waited < lifetime * 10; ++waited) {
        if (std::filesystem::exists(stopFile)) {
            break;
        }
        usleep(100 * 1000);
    }
    return 0;
}
