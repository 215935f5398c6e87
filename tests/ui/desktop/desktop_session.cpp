// Xvfb, xdotool and screenshots for the desktop view's tests.
#include "desktop_session.h"
#include "platform/posix/machine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

using platform::posix::ShellQuote;

namespace fs = std::filesystem;

namespace desktoptest {

namespace {

int ExitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits up to `seconds` for `pid`; its exit status, or -2 while it still runs.
int WaitFor(pid_t pid, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return ExitStatus(status);
        }
        if (done < 0) {
            return -1;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void KillAndReap(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    kill(pid, SIGTERM);
    if (WaitFor(pid, 5) == -2) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// Asks `done` every 100 ms until it says yes; false once `seconds` have passed.
template <typename Done>
bool PollUntil(int seconds, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace

bool Near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

Picture Picture::Read(const std::string& path) {
    Picture picture;
    const std::string raw = path + ".rgb";
    const std::string command = "convert " + ShellQuote(path) + " -depth 8 rgb:" + ShellQuote(raw) +
                                " && identify -format '%w %h' " + ShellQuote(path) + " > " +
                                ShellQuote(raw + ".size");
    if (std::system(command.c_str()) != 0) {
        return picture;
    }
    std::ifstream size(raw + ".size");
    size >> picture.m_width >> picture.m_height;
    std::ifstream in(raw, std::ios::binary);
    picture.m_rgb.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (picture.m_rgb.size() != static_cast<size_t>(picture.m_width) * picture.m_height * 3) {
        picture = Picture();
    }
    std::error_code ec;
    fs::remove(raw, ec);
    fs::remove(raw + ".size", ec);
    return picture;
}

Rgb Picture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) {
        return {};
    }
    const size_t i = (static_cast<size_t>(y) * m_width + x) * 3;
    return {m_rgb[i], m_rgb[i + 1], m_rgb[i + 2]};
}

XServer::XServer() {
    std::string templ = (fs::temp_directory_path() / "mivo-xvfb-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) {
        return;
    }
    m_folder = templ;
    int fds[2];
    if (pipe(fds) != 0) {
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        // Xvfb writes the number of the display it found free to this descriptor.
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    std::string number;
    while (poll(&p, 1, 10000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        number.push_back(c);
    }
    close(fds[0]);
    if (!number.empty()) {
        m_display = ":" + number;
    }
}

XServer::~XServer() {
    KillAndReap(m_pid);
    std::error_code ec;
    fs::remove_all(m_folder, ec);
}

int XServer::Run(const std::string& command, int seconds) const {
    const std::string line = "DISPLAY=" + m_display + " LC_ALL=C.UTF-8 timeout " +
                             std::to_string(seconds) + " sh -c " + ShellQuote(command) +
                             " >/dev/null 2>&1";
    return ExitStatus(std::system(line.c_str()));
}

int XServer::Xdotool(const std::string& arguments) const {
    return Run("xdotool " + arguments);
}

Picture XServer::Screenshot() const {
    const std::string path = m_folder + "/screen.png";
    if (Run("import -window root " + ShellQuote(path)) != 0) {
        return {};
    }
    return Picture::Read(path);
}

bool XServer::WaitForPixel(int x, int y, Rgb colour, int tolerance, int seconds) const {
    return PollUntil(seconds, [&] { return Near(Screenshot().At(x, y), colour, tolerance); });
}

bool XServer::WaitForWindow(const std::string& windowClass, int seconds) const {
    return WaitFor("xdotool search --onlyvisible --class " + ShellQuote("^" + windowClass + "$"),
                   seconds);
}

bool XServer::WaitFor(const std::string& command, int seconds) const {
    // Each try is a fresh command: xdotool's search ends with an X error (BadWindow) when a
    // window goes away while it walks the tree, as the input method's connection windows do
    // while a client starts, and its --sync would end the whole wait there.
    return PollUntil(seconds, [&] { return Run(command, 5) == 0; });
}

BackgroundProcess::BackgroundProcess(const std::string& program, const std::string& display,
                                     const std::string& argument, const std::string& inputMethod) {
    m_pid = fork();
    if (m_pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        if (!inputMethod.empty()) {
            setenv("XMODIFIERS", inputMethod.c_str(), 1);
        }
        if (argument.empty()) {
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        } else {
            execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
}

BackgroundProcess::~BackgroundProcess() {
    KillAndReap(m_pid);
}

int BackgroundProcess::Wait(int seconds) {
    if (m_pid <= 0) {
        return -1;
    }
    const int status = WaitFor(m_pid, seconds);
    if (status == -2) {
        KillAndReap(m_pid);
        m_pid = -1;
        return -1;
    }
    m_pid = -1;
    return status;
}

}  // namespace desktoptest
