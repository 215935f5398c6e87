// Named mutexes, top-level windows and started programs through the Win32 calls.
// Handles are kept in the interface's int members as HandleToLong does: Windows keeps
// kernel and window handles within 32 significant bits so that 32- and 64-bit programs
// can share them.
#include <process.h>

#include <vector>

#include "platform/errors.h"
#include "platform/process.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::Wide;

namespace {

int ToInt(HANDLE handle) {
    return static_cast<int>(HandleToLong(handle));
}

HANDLE ToHandle(int value) {
    return LongToHandle(value);
}

// The class of the invisible windows that stand for a title (WindowRegistration).
const wchar_t kMarkerClass[] = L"MivoTitleMarker";

bool RegisterMarkerClass() {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kMarkerClass;
        return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

}  // namespace

void MutexHandle::Close() {
    if (m_handle >= 0) {
        CloseHandle(ToHandle(m_handle));
        m_handle = -1;
    }
}

MutexHandle CreateNamedMutex(const std::string& name) {
    MutexHandle mutex;
    const HANDLE handle = CreateMutexW(nullptr, FALSE, Wide(name).c_str());
    if (handle != nullptr) {
        // CreateMutexW leaves 183 when the mutex existed and 0 when it made it.
        const DWORD created = GetLastError();
        mutex.m_handle = ToInt(handle);
        SetLastError(created);
    }
    return mutex;
}

// A program that shows its own windows needs no registration; the views that have no
// Windows window of their own (the console view) register an invisible top-level window
// with the title, which FindWindowW finds as it finds visible ones.
WindowRegistration::WindowRegistration(const std::string& title) {
    if (!RegisterMarkerClass()) {
        return;
    }
    const HWND window = CreateWindowExW(0, kMarkerClass, Wide(title).c_str(), WS_OVERLAPPED, 0, 0,
                                        0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) {
        m_handle = ToInt(window);
    }
}

WindowRegistration::~WindowRegistration() {
    if (m_handle >= 0) {
        DestroyWindow(static_cast<HWND>(ToHandle(m_handle)));
    }
}

bool FindTopLevelWindow(const std::string& title) {
    return FindWindowW(nullptr, Wide(title).c_str()) != nullptr;
}

bool StartProcess(const std::string& application, const std::string& commandLine,
                  const std::string& workingFolder, int showCommand, int width, int height) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESIZE;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    startup.dwXSize = static_cast<DWORD>(width);
    startup.dwYSize = static_cast<DWORD>(height);
    PROCESS_INFORMATION started{};
    // CreateProcessW may write into the command line: it gets a copy of its own.
    std::wstring line = Wide(commandLine);
    std::vector<wchar_t> lineBuffer(line.begin(), line.end());
    lineBuffer.push_back(L'\0');
    const std::wstring folder = Wide(workingFolder);
    if (!CreateProcessW(Wide(application).c_str(),
                        commandLine.empty() ? nullptr : lineBuffer.data(), nullptr, nullptr, FALSE,
                        0, nullptr, workingFolder.empty() ? nullptr : folder.c_str(), &startup,
                        &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    SetLastError(ERROR_SUCCESS);
    return true;
}

unsigned ExecuteCommand(const std::string& commandLine, int showCommand) {
    // WinExec takes the command line in the ANSI code page.
    const std::wstring wide = Wide(commandLine);
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(size > 0 ? size : 1), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), size, nullptr, nullptr);
    }
    return WinExec(ansi.c_str(), static_cast<UINT>(showCommand));
}

std::string ModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return "";
        }
        if (length < buffer.size()) {
            return win32::Narrow(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

void ExitProcessNow(int code) {
    _exit(code);
}

}  // namespace platform
