// A second process for the Windows contract tests. As platform_helper on the simulated
// machine: takes one platform object (a named mutex, a window title, a shared file, a
// current folder), reports "ready <result>" on standard output and keeps the object until
// standard input closes. Or writes down where and how it was started.
//   windows_helper mutex NAME
//   windows_helper window TITLE
//   windows_helper open PATH SHARE     (opens for reading with the share mode)
//   windows_helper cwd PATH            (reports "ready <0|error> <current folder>")
//   windows_helper where OUTPUT-FILE [WORDS...]
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// Writes `text` to a file through the platform (the reports of "where").
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

// The words of the command line in UTF-8 (main's argv holds them in the ANSI code page,
// which cannot carry every name the tests use).
std::vector<std::string> Words() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 0; i < count; ++i) {
        words.push_back(
            platform::Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(wide[i]))));
    }
    LocalFree(wide);
    return words;
}

}  // namespace

int main() {
    const std::vector<std::string> words = Words();
    if (words.size() < 3) {
        std::fputs("usage: windows_helper mutex|window|open|cwd|where ...\n", stderr);
        return 2;
    }
    const std::string& command = words[1];
    if (command == "where") {
        std::string folder;
        platform::CurrentFolder(folder);
        std::string report = folder;
        for (size_t i = 3; i < words.size(); ++i) {
            report += "|" + words[i];
        }
        return WriteFile(words[2], report) ? 0 : 4;
    }
    platform::MutexHandle mutex;
    std::optional<platform::WindowRegistration> window;
    platform::CrtFile file;
    if (command == "mutex") {
        mutex = platform::CreateNamedMutex(words[2]);
        std::printf("ready %u\n", mutex.IsValid() ? platform::LastError() : 0xFFFFFFFFu);
    } else if (command == "window") {
        window.emplace(words[2]);
        std::printf("ready %d\n", platform::FindTopLevelWindow(words[2]) ? 0 : 1);
    } else if (command == "open" && words.size() == 4) {
        std::printf("ready %d\n",
                    file.Open(words[2], platform::CrtFile::kRead, std::atoi(words[3].c_str())));
    } else if (command == "cwd") {
        std::string current;
        const bool changed = platform::ChangeCurrentFolder(words[2]);
        platform::CurrentFolder(current);
        std::printf("ready %u %s\n", changed ? 0u : platform::LastError(), current.c_str());
    } else {
        std::fputs("windows_helper: unknown command\n", stderr);
        return 2;
    }
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
