// Processes, named mutexes and top-level windows: what the installer uses to meet other
// programs. Mutexes and windows belong to the process that made them and vanish with it.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// A handle on a named mutex (CreateMutexW without initial ownership). Closing the last
/// handle of every process removes the mutex; so does the end of the owning processes.
class MutexHandle {
public:
    MutexHandle() = default;
    ~MutexHandle() { Close(); }
    MutexHandle(const MutexHandle&) = delete;
    MutexHandle& operator=(const MutexHandle&) = delete;
    MutexHandle(MutexHandle&& other) noexcept : m_handle(other.m_handle) { other.m_handle = -1; }
    MutexHandle& operator=(MutexHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = other.m_handle;
            other.m_handle = -1;
        }
        return *this;
    }

    bool IsValid() const { return m_handle >= 0; }
    /// CloseHandle.
    void Close();
    /// Keeps the mutex until the process ends (the handle is never closed).
    void Leak() { m_handle = -1; }

private:
    friend MutexHandle CreateNamedMutex(const std::string& name);
    int m_handle = -1;  // platform descriptor, -1 when none
};

/// CreateMutexW(nullptr, FALSE, name). Sets LastError to 183 when the mutex already
/// existed (the handle is then valid too), to 0 when it was created; an invalid handle
/// means failure.
MutexHandle CreateNamedMutex(const std::string& name);

/// A top-level window's presence under its title, as FindWindowW sees it; the views
/// register each window they show.
class WindowRegistration {
public:
    WindowRegistration() = default;
    explicit WindowRegistration(const std::string& title);
    ~WindowRegistration();
    WindowRegistration(const WindowRegistration&) = delete;
    WindowRegistration& operator=(const WindowRegistration&) = delete;

private:
    int m_handle = -1;  // platform descriptor, -1 when none
};

/// FindWindowW(nullptr, title): true when a live top-level window has exactly this title.
bool FindTopLevelWindow(const std::string& title);

/// ShowWindow values used when starting programs.
inline constexpr int kShowNormal = 1;

/// CreateProcessW with the application path, a command line (may be empty), no inherited
/// handles, the inherited environment and a working folder; the show state and window
/// size go into the start-up information. The process runs on its own: nothing waits.
/// False with LastError (2 when the program does not exist, 193 when it cannot run here).
bool StartProcess(const std::string& application, const std::string& commandLine,
                  const std::string& workingFolder, int showCommand, int width, int height);

/// WinExec: the first word of the command line (or the quoted path) is the program.
/// Answers a value above 31 on success, 2 or 3 when the program is missing, 11 when it
/// cannot run.
unsigned ExecuteCommand(const std::string& commandLine, int showCommand);

/// GetModuleFileNameW(nullptr): the Windows path of the running executable.
std::string ModulePath();

/// _exit: ends the process at once, without destructors.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace platform
