// Processes, named mutexes and top-level windows of the simulated machine. A mutex or a
// window is a marker file under run/ on which each holder keeps a shared flock: it exists
// while any live open of it holds a lock, and vanishes with the processes that hold it.
// Creation checks and takes the lock under run/<kind>/.guard, so two creators cannot both
// believe they were first.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/internal.h"
#include "platform/posix/machine.h"
#include "platform/process.h"
#include "platform/text.h"

namespace platform {

using namespace platform::posix;

namespace {

constexpr const char* kMutexKind = "mutex";
constexpr const char* kWindowKind = "window";

// Holds run/<kind>/.guard exclusively for the life of the object.
class KindGuard {
public:
    explicit KindGuard(const std::string& kind) {
        m_fd = OpenMarkerFile(kind, ".guard");
        if (m_fd >= 0) {
            flock(m_fd, LOCK_EX);
        }
    }
    ~KindGuard() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    KindGuard(const KindGuard&) = delete;
    KindGuard& operator=(const KindGuard&) = delete;

private:
    int m_fd = -1;
};

// Opens the marker of `name` and holds a shared lock on it; `existed` tells whether some
// other open held it before. -1 on failure.
int TakeMarker(const std::string& kind, const std::string& name, bool& existed) {
    KindGuard guard(kind);
    const int fd = OpenMarkerFile(kind, name);
    if (fd < 0) {
        return -1;
    }
    existed = flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (flock(fd, LOCK_SH) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// "C:\a\\b\" and "c:/A/b" name the same program: fold separators and case for lookup.
std::string ProgramKey(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '/') {
            c = '\\';
        }
        if (c == '\\' && !out.empty() && out.back() == '\\') {
            continue;
        }
        out.push_back(c);
    }
    while (out.size() > 3 && out.back() == '\\') {
        out.pop_back();
    }
    return out;
}

const std::string* FindProgram(const std::string& application) {
    const std::string key = ProgramKey(application);
    for (const auto& [path, command] : Machine().programs) {
        if (SameNameNoCase(ProgramKey(path), key)) {
            return &command;
        }
    }
    return nullptr;
}

// Splits a Windows command line into words (quotes group, as CommandLineToArgvW mostly does).
std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// Runs `command` through the shell, detached: the grandchild is adopted by init, so no one
// waits for it and it leaves no zombie. Its output goes to run/programs.log.
bool SpawnDetached(const std::string& command, const std::string& hostFolder) {
    const std::string log = RunFolder().empty() ? "/dev/null" : RunFolder() + "/programs.log";
    const pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild != 0) {
            _exit(grandchild < 0 ? 1 : 0);
        }
        if (!hostFolder.empty() && chdir(hostFolder.c_str()) != 0) {
            _exit(127);
        }
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
        if (in >= 0) {
            dup2(in, STDIN_FILENO);
        }
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Starts a program of the machine; sets LastError like CreateProcessW.
bool StartProgram(const std::string& application, const std::vector<std::string>& arguments,
                  const std::string& workingFolder) {
    HostPath program;
    if (!Resolve(application, program)) {
        return false;
    }
    if (!program.exists) {
        SetLastErrorCode(program.parentExists ? kErrorFileNotFound : kErrorPathNotFound);
        return false;
    }
    const std::string* command = FindProgram(application);
    if (command == nullptr) {
        // The file is there, but this machine has nothing that can run it.
        SetLastErrorCode(kErrorBadExeFormat);
        return false;
    }
    // Without a working folder of its own, a program starts in the caller's current folder.
    std::string folderPath = workingFolder;
    if (folderPath.empty()) {
        CurrentFolder(folderPath);
    }
    std::string hostFolder;
    if (!folderPath.empty()) {
        HostPath folder;
        if (!Resolve(folderPath, folder) || !folder.exists) {
            SetLastErrorCode(kErrorDirectory);
            return false;
        }
        hostFolder = folder.host;
    }
    std::string line = *command;
    for (const std::string& argument : arguments) {
        line += " " + posix::ShellQuote(argument);
    }
    if (!SpawnDetached(line, hostFolder)) {
        SetLastErrorCode(kErrorNotEnoughMemory);
        return false;
    }
    SetLastErrorCode(kErrorSuccess);
    return true;
}

}  // namespace

void MutexHandle::Close() {
    if (m_handle >= 0) {
        close(m_handle);
        m_handle = -1;
    }
}

MutexHandle CreateNamedMutex(const std::string& name) {
    MutexHandle handle;
    bool existed = false;
    const int fd = TakeMarker(kMutexKind, name, existed);
    if (fd < 0) {
        SetLastErrorCode(kErrorAccessDenied);
        return handle;
    }
    handle.m_handle = fd;
    SetLastErrorCode(existed ? kErrorAlreadyExists : kErrorSuccess);
    return handle;
}

WindowRegistration::WindowRegistration(const std::string& title) {
    bool existed = false;
    m_handle = TakeMarker(kWindowKind, title, existed);
}

WindowRegistration::~WindowRegistration() {
    if (m_handle >= 0) {
        close(m_handle);
    }
}

bool FindTopLevelWindow(const std::string& title) {
    KindGuard guard(kWindowKind);
    if (MarkerHeld(kWindowKind, title)) {
        SetLastErrorCode(kErrorSuccess);
        return true;
    }
    SetLastErrorCode(kErrorCannotFindWndClass);
    return false;
}

bool StartProcess(const std::string& application, const std::string& commandLine,
                  const std::string& workingFolder, int /*showCommand*/, int /*width*/,
                  int /*height*/) {
    std::vector<std::string> words = SplitCommandLine(commandLine);
    // By Windows convention the first word of a command line names the program itself.
    if (!words.empty() && SameNameNoCase(ProgramKey(words.front()), ProgramKey(application))) {
        words.erase(words.begin());
    }
    return StartProgram(application, words, workingFolder);
}

unsigned ExecuteCommand(const std::string& commandLine, int /*showCommand*/) {
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty()) {
        return 2;
    }
    const std::string program = words.front();
    words.erase(words.begin());
    if (!StartProgram(program, words, "")) {
        const uint32_t error = LastError();
        if (error == kErrorFileNotFound || error == kErrorPathNotFound) {
            return error;
        }
        return 11;  // ERROR_BAD_FORMAT
    }
    return 33;
}

namespace {

std::string g_modulePathOverride;  // set by tests; empty: the real module path

}  // namespace

std::string ModulePath() {
    if (!g_modulePathOverride.empty()) {
        return g_modulePathOverride;
    }
    char exe[PATH_MAX + 1] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
    if (n <= 0) {
        return "";
    }
    const std::string host(exe, static_cast<size_t>(n));
    std::string windows;
    if (HaveMachine() && WindowsPathOf(host, windows)) {
        return windows;
    }
    return host;
}

void ExitProcessNow(int code) {
    _exit(code);
}

}  // namespace platform

namespace platform::posix {

void OverrideModulePath(const std::string& windowsPath) {
    platform::g_modulePathOverride = windowsPath;
}

}  // namespace platform::posix
