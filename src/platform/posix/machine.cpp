// The simulated machine: reading machine.ini, finding the machine of the running program,
// and the session services (user script, screen log) that live in its run/ folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "platform/posix/internal.h"
#include "platform/posix/machine.h"
#include "platform/session.h"
#include "platform/startup.h"

namespace fs = std::filesystem;

namespace platform::posix {

namespace {

MachineConfig g_machine;
bool g_haveMachine = false;

std::string Trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return "";
    }
    const auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool ParseDriveType(const std::string& word, unsigned& type) {
    static const std::pair<const char*, unsigned> kTypes[] = {
        {"fixed", 3}, {"removable", 2}, {"remote", 4}, {"cdrom", 5}, {"ramdisk", 6}};
    for (const auto& [name, value] : kTypes) {
        if (word == name) {
            type = value;
            return true;
        }
    }
    return false;
}

std::string HostFolderOf(const std::string& machineFolder, const std::string& path) {
    fs::path p(path);
    if (p.is_relative()) {
        p = fs::path(machineFolder) / p;
    }
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') {
        s.pop_back();
    }
    return s;
}

// Reads machine.ini into `config`; false with "FILE line N: ..." in `problem`.
bool ParseMachineIni(const std::string& folder, MachineConfig& config, std::string& problem) {
    const std::string file = folder + "/machine.ini";
    std::ifstream in(file);
    if (!in) {
        problem = file + ": cannot be read";
        return false;
    }
    config = MachineConfig{};
    config.folder = folder;
    std::string section;
    std::string raw;
    int lineNumber = 0;
    const auto fail = [&](const std::string& what) {
        problem = file + " line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                return fail("section header without closing bracket");
            }
            section = Lower(Trim(line.substr(1, line.size() - 2)));
            if (section != "drives" && section != "system" && section != "programs" &&
                section != "user") {
                return fail("unknown section [" + section +
                            "] (expected drives, system, programs or user)");
            }
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            return fail("expected \"name = value\"");
        }
        const std::string key = Trim(line.substr(0, eq));
        const std::string value = Trim(line.substr(eq + 1));
        if (section.empty()) {
            return fail("value outside a section");
        }
        if (section == "drives") {
            if (key.size() != 1 || !std::isalpha(static_cast<unsigned char>(key[0]))) {
                return fail("drive name must be one letter, got \"" + key + "\"");
            }
            const auto comma = value.find(',');
            if (comma == std::string::npos) {
                return fail("expected \"LETTER = type, folder\"");
            }
            Drive drive;
            drive.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
            if (!ParseDriveType(Lower(Trim(value.substr(0, comma))), drive.type)) {
                return fail("unknown drive type \"" + Trim(value.substr(0, comma)) +
                            "\" (expected fixed, removable, remote, cdrom or ramdisk)");
            }
            const std::string where = Trim(value.substr(comma + 1));
            if (where.empty()) {
                return fail("drive " + key + " has no folder");
            }
            drive.hostRoot = HostFolderOf(folder, where);
            for (const Drive& other : config.drives) {
                if (other.letter == drive.letter) {
                    return fail(std::string("drive ") + drive.letter + " is named twice");
                }
            }
            std::error_code ec;
            if (!fs::is_directory(drive.hostRoot, ec)) {
                fs::create_directories(drive.hostRoot, ec);
                if (ec) {
                    return fail("the folder of drive " + key +
                                " cannot be made: " + drive.hostRoot);
                }
            }
            config.drives.push_back(drive);
        } else if (section == "system") {
            const std::string k = Lower(key);
            if (k == "directory") {
                if (value.size() < 3 || value[1] != ':' || value[2] != '\\') {
                    return fail("system directory must be an absolute Windows path");
                }
                config.systemDirectory = value;
            } else if (k == "screen") {
                int w = 0;
                int h = 0;
                char x = 0;
                std::istringstream s(value);
                if (!(s >> w >> x >> h) || x != 'x' || w <= 0 || h <= 0) {
                    return fail("screen must be WIDTHxHEIGHT, got \"" + value + "\"");
                }
                config.screenWidth = w;
                config.screenHeight = h;
            } else if (k == "desktop") {
                config.desktop = value;
            } else if (k == "common_desktop") {
                config.commonDesktop = value;
            } else if (k == "ansi_codepage" || k == "oem_codepage") {
                char* end = nullptr;
                const unsigned long cp = std::strtoul(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || cp == 0 || cp > 65535) {
                    return fail("code page must be a number, got \"" + value + "\"");
                }
                (k == "ansi_codepage" ? config.ansiCodePage : config.oemCodePage) =
                    static_cast<unsigned>(cp);
            } else if (k == "timezone") {
                config.timezone = value;
            } else {
                return fail("unknown [system] value \"" + key +
                            "\" (expected directory, screen, desktop, common_desktop, "
                            "ansi_codepage, oem_codepage or timezone)");
            }
        } else if (section == "programs") {
            if (key.size() < 3 || key[1] != ':') {
                return fail("program must be an absolute Windows path, got \"" + key + "\"");
            }
            if (value.empty()) {
                return fail("program " + key + " has no command");
            }
            config.programs.emplace_back(key, value);
        } else if (section == "user") {
            if (Lower(key) != "script") {
                return fail("unknown [user] value \"" + key + "\" (expected script)");
            }
            config.userScript = HostFolderOf(folder, value);
        }
    }
    if (config.drives.empty()) {
        lineNumber = 0;
        return fail("no drive in [drives]");
    }
    std::sort(config.drives.begin(), config.drives.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return true;
}

void ApplyTimezone(const MachineConfig& config) {
    if (!config.timezone.empty()) {
        setenv("TZ", config.timezone.c_str(), 1);
    }
    tzset();
}

}  // namespace

MachineConfig& Machine() {
    return g_machine;
}

bool HaveMachine() {
    return g_haveMachine;
}

std::string RunFolder() {
    if (!g_haveMachine || g_machine.hostRoot) {
        return "";
    }
    const std::string run = g_machine.folder + "/run";
    mkdir(run.c_str(), 0777);
    return run;
}

std::string RegistryFile() {
    if (!g_haveMachine || g_machine.hostRoot) {
        return "";
    }
    return g_machine.folder + "/registry.reg";
}

void AppendRunLog(const std::string& name, const std::string& text) {
    const std::string run = RunFolder();
    if (run.empty()) {
        return;
    }
    const int fd =
        open((run + "/" + name).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        return;
    }
    std::string line = text;
    if (line.empty() || line.back() != '\n') {
        line += '\n';
    }
    ssize_t ignored = write(fd, line.data(), line.size());
    (void)ignored;
    close(fd);
}

bool UseMachine(const std::string& folder, std::string& problem) {
    std::error_code ec;
    const std::string absolute = fs::absolute(folder, ec).lexically_normal().string();
    std::string trimmed = absolute;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    MachineConfig config;
    if (!ParseMachineIni(trimmed, config, problem)) {
        return false;
    }
    const std::string registry = trimmed + "/registry.reg";
    std::ifstream reg(registry, std::ios::binary);
    if (reg) {
        std::ostringstream text;
        text << reg.rdbuf();
        std::string regProblem;
        if (!CheckRegistryText(text.str(), regProblem)) {
            problem = registry + " " + regProblem;
            return false;
        }
    }
    g_machine = config;
    g_haveMachine = true;
    ForgetCurrentFolder();
    ApplyTimezone(g_machine);
    setenv("MIVO_MACHINE", g_machine.folder.c_str(), 1);
    return true;
}

void UseHostRoot() {
    g_machine = MachineConfig{};
    g_machine.folder = "/";
    g_machine.hostRoot = true;
    g_machine.drives.push_back(Drive{'Z', 3, "/"});
    g_machine.systemDirectory = "Z:\\";
    g_haveMachine = true;
    tzset();
}

const std::string& MachineFolder() {
    return g_machine.folder;
}

bool HostPathOf(const std::string& windowsPath, std::string& hostPath) {
    HostPath resolved;
    if (!Resolve(windowsPath, resolved)) {
        return false;
    }
    hostPath = resolved.host;
    return true;
}

bool WindowsPathOf(const std::string& hostPath, std::string& windowsPath) {
    std::error_code ec;
    fs::path p = fs::absolute(hostPath, ec).lexically_normal();
    // Follow symbolic links of the existing part so that a link into a drive is found.
    fs::path existing = p;
    fs::path rest;
    while (!existing.empty() && !fs::exists(existing, ec) && existing != existing.root_path()) {
        rest = existing.filename() / rest;
        existing = existing.parent_path();
    }
    fs::path canonical = fs::weakly_canonical(existing, ec);
    if (ec) {
        canonical = existing;
    }
    std::string full = (canonical / rest).lexically_normal().string();
    while (full.size() > 1 && full.back() == '/') {
        full.pop_back();
    }
    const Drive* best = nullptr;
    std::string bestRoot;
    for (const Drive& drive : g_machine.drives) {
        std::string root = fs::weakly_canonical(drive.hostRoot, ec).string();
        if (ec) {
            root = drive.hostRoot;
        }
        while (root.size() > 1 && root.back() == '/') {
            root.pop_back();
        }
        const bool inside = full == root || root == "/" ||
                            (full.size() > root.size() && full.compare(0, root.size(), root) == 0 &&
                             full[root.size()] == '/');
        if (inside && (best == nullptr || root.size() > bestRoot.size())) {
            best = &drive;
            bestRoot = root;
        }
    }
    if (best == nullptr) {
        SetLastErrorCode(kErrorPathNotFound);
        return false;
    }
    std::string tail = full.substr(bestRoot == "/" ? 0 : bestRoot.size());
    std::replace(tail.begin(), tail.end(), '/', '\\');
    windowsPath = std::string(1, best->letter) + ":";
    windowsPath += tail.empty() ? "\\" : tail;
    if (windowsPath.size() > 3 && windowsPath.back() == '\\') {
        windowsPath.pop_back();
    }
    return true;
}

}  // namespace platform::posix

namespace platform {

using namespace platform::posix;

bool StartUp(std::string& problem) {
    char exe[PATH_MAX + 1] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
    if (n <= 0) {
        problem = "cannot find the program's own file";
        return false;
    }
    fs::path dir = fs::path(std::string(exe, static_cast<size_t>(n))).parent_path();
    std::error_code ec;
    for (fs::path p = dir;; p = p.parent_path()) {
        if (fs::exists(p / "machine.ini", ec)) {
            return UseMachine(p.string(), problem);
        }
        if (p == p.root_path() || p.empty()) {
            break;
        }
    }
    problem = "This program runs on a simulated Windows machine, and " + dir.string() +
              " lies in none: no folder above it holds a machine.ini.\n"
              "Make one with tools' mivo-machine (scripts/demo does it for you) and run the "
              "copy of the installer that it places in the machine's package folder.";
    return false;
}

namespace {

// The user script's shared position: run/script.pos holds the number of answers taken.
ScriptAnswer TakeScriptLine(std::string& answer) {
    const std::string& script = Machine().userScript;
    std::ifstream in(script);
    if (!in) {
        return ScriptAnswer::kExhausted;
    }
    const std::string posFile = RunFolder() + "/script.pos";
    const int fd = open(posFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return ScriptAnswer::kExhausted;
    }
    flock(fd, LOCK_EX);
    char buf[32] = {};
    const ssize_t got = pread(fd, buf, sizeof buf - 1, 0);
    long taken = got > 0 ? std::strtol(buf, nullptr, 10) : 0;
    std::string raw;
    long index = 0;
    ScriptAnswer result = ScriptAnswer::kExhausted;
    while (std::getline(in, raw)) {
        std::string line = raw;
        const auto begin = line.find_first_not_of(" \t\r");
        if (begin == std::string::npos || line[begin] == '#') {
            continue;
        }
        line = line.substr(begin);
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.pop_back();
        }
        if (index++ == taken) {
            answer = line;
            result = ScriptAnswer::kAnswer;
            break;
        }
    }
    if (result == ScriptAnswer::kAnswer) {
        const std::string text = std::to_string(taken + 1) + "\n";
        if (ftruncate(fd, 0) != 0 || pwrite(fd, text.data(), text.size(), 0) < 0) {
            result = ScriptAnswer::kExhausted;
        }
    }
    flock(fd, LOCK_UN);
    close(fd);
    return result;
}

}  // namespace

ScriptAnswer NextScriptedAnswer(std::string& line) {
    if (!HasUserScript()) {
        return ScriptAnswer::kNoScript;
    }
    return TakeScriptLine(line);
}

void RestartUserScript() {
    if (HasUserScript()) {
        std::error_code ignored;
        fs::remove(RunFolder() + "/script.pos", ignored);
    }
}

bool HasUserScript() {
    return HaveMachine() && !Machine().userScript.empty();
}

void RecordScreen(const std::string& entry) {
    AppendRunLog("screen.log", entry);
}

std::string MachineFilePath(const std::string& relative) {
    if (!HaveMachine() || Machine().hostRoot) {
        return "";
    }
    return Machine().folder + "/" + relative;
}

bool WaitForMachineFile(const std::string& relative, uint32_t timeoutMilliseconds) {
    const std::string path = MachineFilePath(relative);
    if (path.empty()) {
        return false;
    }
    for (uint32_t waited = 0;; waited += 50) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0) {
            return true;
        }
        if (waited >= timeoutMilliseconds) {
            return false;
        }
        usleep(50 * 1000);
    }
}

bool StandardInputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

void WriteStandardError(const std::string& text) {
    std::string line = text;
    if (line.empty() || line.back() != '\n') {
        line += '\n';
    }
    ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
}

}  // namespace platform
