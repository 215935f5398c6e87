// Shared state of the simulated machine's implementation files. Not part of the platform
// interface: only src/platform/posix/*.cpp include it.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform::posix {

/// One drive letter of the machine.
struct Drive {
    char letter = 'C';     // upper case
    unsigned type = 3;     // GetDriveTypeW value
    std::string hostRoot;  // absolute host folder, no trailing slash ("/" for the host root)
};

/// machine.ini, as read.
struct MachineConfig {
    std::string folder;                                     // host folder of the machine
    std::vector<Drive> drives;                              // in letter order
    std::string systemDirectory = "C:\\Windows\\system32";  // [system] directory
    int screenWidth = 1920;                                 // [system] screen
    int screenHeight = 1080;
    std::string desktop = "C:\\Users\\Examinee\\Desktop";       // [system] desktop
    std::string commonDesktop = "C:\\Users\\Public\\Desktop";   // [system] common_desktop
    unsigned ansiCodePage = 949;                                // [system] ansi_codepage
    unsigned oemCodePage = 949;                                 // [system] oem_codepage
    std::string timezone;                                       // [system] timezone (IANA name)
    std::vector<std::pair<std::string, std::string>> programs;  // [programs] path = command
    std::string userScript;                                     // [user] script (host path)
    bool hostRoot = false;                                      // UseHostRoot: no run/, no registry
};

/// The machine in use.
MachineConfig& Machine();

/// True once a machine is loaded.
bool HaveMachine();

/// The host folder run/ of the machine (created on demand); empty for the host root.
std::string RunFolder();

/// Appends `text` as one line to run/<name> in a single write, so that lines of several
/// processes stay whole; nothing without a run folder.
void AppendRunLog(const std::string& name, const std::string& text);

/// Host path of the registry file; empty for the host root.
std::string RegistryFile();

/// Parses registry.reg text; false with "line N: ..." in `problem`.
bool CheckRegistryText(const std::string& text, std::string& problem);

/// Result of mapping a Windows path onto the host.
struct HostPath {
    std::string host;           // host path (existing components with their stored case)
    bool exists = false;        // the whole path exists
    bool parentExists = false;  // every component but the last exists (as a folder)
    bool isRoot = false;        // the path is a drive root
    const Drive* drive = nullptr;
    std::string windows;       // the absolute, normalised Windows path
    struct stat status {};     // lstat of the whole path, when statusValid
    bool statusValid = false;  // it exists and is no symbolic link: status is its stat
};

/// Forgets the process's current folder, so that the next question answers the default as
/// a new process would: a machine just loaded must not keep a folder of the one before.
void ForgetCurrentFolder();

/// Maps a Windows path (absolute or relative to the current folder) onto the host.
/// False with LastError 3 (unknown drive or bad form), 123 (invalid name) or 53 (network
/// path).
bool Resolve(const std::string& windowsPath, HostPath& out);

/// Tells the name cache that the program made (or removed) the file or folder at a host
/// path, so that later look-ups in its folder need no new listing.
void NoteNameAdded(const std::string& hostPath);
/// Tells the path cache that the program removed or renamed a folder.
void NoteFoldersChanged();
void NoteNameRemoved(const std::string& hostPath);

/// Maps the host's errno onto a Win32 error code, given whether the parent existed.
uint32_t Win32FromErrno(int hostErrno);

/// Maps the host's errno onto the Windows C runtime's errno numbering.
int CrtFromErrno(int hostErrno);

/// Percent-encodes a name for use as a host file name.
std::string EncodeName(const std::string& name);

/// Opens (creating) a lock file under run/<kind>/ for `name`; -1 on failure.
int OpenMarkerFile(const std::string& kind, const std::string& name);

/// True when some live open file description holds a flock on the marker file of `name`.
bool MarkerHeld(const std::string& kind, const std::string& name);

}  // namespace platform::posix
