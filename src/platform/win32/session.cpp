// The machine around the program on Windows: a person answers (there is no user script),
// the screen log is kept only where someone asked for it, and COM is ready from the start.
#include <io.h>
#include <objbase.h>

#include <cstdio>

#include "platform/process.h"
#include "platform/session.h"
#include "platform/startup.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// screen.log beside the executable. The log is written only when that file exists already:
// a test or a support person creates it to watch the boxes, and an exam PC stays clean.
std::string ScreenLogPath() {
    const std::string module = ModulePath();
    const size_t slash = module.find_last_of('\\');
    return slash == std::string::npos ? std::string() : module.substr(0, slash + 1) + "screen.log";
}

}  // namespace

bool StartUp(std::string& /*problem*/) {
    // The shell's objects (shell links) need COM on the main thread; a failure shows in the
    // calls that need it, not here.
    const HRESULT result = CoInitialize(nullptr);
    (void)result;
    return true;
}

ScriptAnswer NextScriptedAnswer(std::string& line) {
    line.clear();
    return ScriptAnswer::kNoScript;
}

void RestartUserScript() {}

bool HasUserScript() {
    return false;
}

void RecordScreen(const std::string& entry) {
    const std::string path = ScreenLogPath();
    if (path.empty()) {
        return;
    }
    const std::wstring wide = win32::Wide(path);
    const DWORD saved = GetLastError();
    // Appending through FILE_APPEND_DATA keeps lines of several processes whole.
    const HANDLE log =
        CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        const std::string line = entry + "\n";
        DWORD written = 0;
        WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(log);
    }
    SetLastError(saved);
}

std::string MachineFilePath(const std::string& /*relative*/) {
    return "";
}

bool WaitForMachineFile(const std::string& /*relative*/, uint32_t /*timeoutMilliseconds*/) {
    return false;
}

bool StandardInputIsTerminal() {
    // Only a console counts: _isatty also says yes for NUL and other character devices,
    // from which no person answers.
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    return _isatty(_fileno(stdin)) != 0 && input != nullptr && input != INVALID_HANDLE_VALUE &&
           GetConsoleMode(input, &mode) != 0;
}

void WriteStandardError(const std::string& text) {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error != nullptr && error != INVALID_HANDLE_VALUE && GetConsoleMode(error, &mode)) {
        // A console shows UTF-16 whatever its code page.
        const std::wstring wide = win32::Wide(text + "\n");
        DWORD written = 0;
        WriteConsoleW(error, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fputs((text + "\n").c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace platform
