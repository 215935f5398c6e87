// The simulated Windows machine behind the POSIX platform: a folder with machine.ini,
// registry.reg, run/ and one host folder per drive. Only tests and tools include this
// header; the installer reaches the machine through the platform interface alone.
#pragma once

#include <string>

namespace platform::posix {

/// Loads the machine in `folder` (tests and tools; the installer finds its own through
/// StartUp). False with a message naming the file and line when it cannot be read.
bool UseMachine(const std::string& folder, std::string& problem);

/// Uses the host's own file system as a machine with one fixed drive Z: whose root is
/// "/" (as Wine does), no registry and no run/ folder: for tools that work on host paths.
void UseHostRoot();

/// Makes ModulePath answer `windowsPath` from now on (empty: the real path again), for tests
/// that run the installer's steps inside the test program as if it lay in a package folder.
void OverrideModulePath(const std::string& windowsPath);

/// The folder of the machine in use (empty before one is loaded).
const std::string& MachineFolder();

/// The host path of a Windows path on this machine, following existing names without
/// regard to case; false with LastError when the drive is unknown.
bool HostPathOf(const std::string& windowsPath, std::string& hostPath);

/// The Windows path of a host path that lies on one of the machine's drives.
bool WindowsPathOf(const std::string& hostPath, std::string& windowsPath);

/// `text` as one word of a POSIX shell command (single quotes, inner ones escaped).
inline std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out.push_back(c);
        }
    }
    return out + "'";
}

}  // namespace platform::posix
