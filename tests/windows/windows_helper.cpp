// A second process for the Windows contract tests: holds a mutex, shows a window title or
// keeps a file open for a while, or writes down where and how it was started.
//   windows_helper mutex NAME READY-FILE MILLISECONDS
//   windows_helper window TITLE READY-FILE MILLISECONDS
//   windows_helper open PATH SHARE READY-FILE MILLISECONDS
//   windows_helper where OUTPUT-FILE [WORDS...]
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Writes `text` to a file through the platform (the ready signal and the reports).
bool WriteFile(const std::string& path, const std::string& text) {
    platform::CrtFile file;
    if (file.Open(
            path,
            platform::CrtFile::kWrite | platform::CrtFile::kCreate | platform::CrtFile::kTruncate,
            platform::CrtFile::kDenyNone) != 0) {
        return false;
    }
    size_t put = 0;
    return file.Write(text.data(), text.size(), put) == 0 && file.Close() == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: windows_helper mutex|window|open|where ...\n", stderr);
        return 2;
    }
    const std::string command = argv[1];
    if ((command == "mutex" || command == "window") && argc == 5) {
        platform::MutexHandle mutex;
        std::optional<platform::WindowRegistration> window;
        if (command == "mutex") {
            mutex = platform::CreateNamedMutex(argv[2]);
            if (!mutex.IsValid()) {
                return 3;
            }
        } else {
            window.emplace(argv[2]);
        }
        WriteFile(argv[3], "ready");
        platform::SleepMilliseconds(static_cast<uint32_t>(std::atoi(argv[4])));
        return 0;
    }
    if (command == "open" && argc == 6) {
        platform::CrtFile file;
        const int error = file.Open(argv[2], platform::CrtFile::kRead, std::atoi(argv[3]));
        WriteFile(argv[4], error == 0 ? "ready" : "error " + std::to_string(error));
        platform::SleepMilliseconds(static_cast<uint32_t>(std::atoi(argv[5])));
        return 0;
    }
    if (command == "where") {
        std::string folder;
        platform::CurrentFolder(folder);
        std::string report = folder;
        for (int i = 3; i < argc; ++i) {
            report += "|";
            report += argv[i];
        }
        return WriteFile(argv[2], report) ? 0 : 4;
    }
    std::fputs("windows_helper: unknown command\n", stderr);
    return 2;
}
