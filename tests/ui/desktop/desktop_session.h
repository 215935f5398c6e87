// Test support for the desktop view: an Xvfb server of the test's own, the installer
// running on it, xdotool to drive it, and screenshots read as pixels.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace desktoptest {

/// An RGB colour.
struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};

/// True when every channel of `a` is within `tolerance` of `b`.
bool Near(Rgb a, Rgb b, int tolerance = 12);

/// An RGB picture read from a file with ImageMagick (screenshots, res/ pictures).
class Picture {
public:
    /// Reads `path`; empty (width 0) when it cannot be read.
    static Picture Read(const std::string& path);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    /// The pixel at (x, y); black outside the picture.
    Rgb At(int x, int y) const;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<uint8_t> m_rgb;
};

/// A private X server (Xvfb, 1024 × 768 × 24) on a free display, ended by the destructor.
class XServer {
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Running() const { return m_pid > 0 && !m_display.empty(); }
    /// ":N".
    const std::string& Display() const { return m_display; }
    /// Runs a shell command with DISPLAY and LC_ALL=C.UTF-8 set, bounded by `seconds`;
    /// answers its exit status (124 on time-out).
    int Run(const std::string& command, int seconds = 20) const;
    /// xdotool with these arguments.
    int Xdotool(const std::string& arguments) const;
    /// A screenshot of the whole screen.
    Picture Screenshot() const;
    /// Takes screenshots until the pixel at (x, y) is near `colour`; false after
    /// `seconds`. (A loaded machine may take a moment to repaint.)
    bool WaitForPixel(int x, int y, Rgb colour, int tolerance = 12, int seconds = 5) const;
    /// Waits until a visible window of X class `windowClass` exists; false after
    /// `seconds`. (xdotool's name search does not match Korean titles.)
    bool WaitForWindow(const std::string& windowClass, int seconds = 15) const;
    /// Runs the shell command `command` until it succeeds; false after `seconds`.
    bool WaitFor(const std::string& command, int seconds) const;

private:
    pid_t m_pid = -1;
    std::string m_display;
    std::string m_folder;  // scratch folder for screenshots
};

/// A program started in the background on an X server; killed by the destructor if it is
/// still running.
class BackgroundProcess {
public:
    /// Starts `program` (with one `argument` unless it is empty) on `display`, with
    /// XMODIFIERS set to `inputMethod` unless it is empty ("@im=nabi").
    BackgroundProcess(const std::string& program, const std::string& display,
                      const std::string& argument = "", const std::string& inputMethod = "");
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    /// Waits for the end; the exit code, or -1 when it did not end within `seconds` (it is
    /// then killed) or died by a signal.
    int Wait(int seconds);

private:
    pid_t m_pid = -1;
};

}  // namespace desktoptest
