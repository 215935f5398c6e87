// The main program and its database server on the Wine exam PC of run-wine-e2e. The role
// comes from the executable's own file name, as the installer starts the programs by path:
//   VemraExam.exe       holds the mutex "Sorvane+α" while it runs
//   VemraDBServer.exe   holds a top-level window titled "DBMS Server" while it runs
// Each start appends one line to C:\mivo-e2e\started.log: the role, the working folder and
// the command-line arguments. It ends after its lifetime (300 s) or as soon as the file
// C:\mivo-e2e\stop-ROLE appears (ROLE being VemraExam or VemraDBServer).
#include <cstdio>
#include <optional>
#include <string>

#include "platform/crt_errno.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr const char* kLogFolder = "C:\\mivo-e2e";
constexpr uint32_t kLifetimeMs = 300 * 1000;
constexpr uint32_t kPollMs = 100;

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// Appends one line to the log. The server and the main program start within moments of
// each other, so a writer that finds the file held by the other one tries again.
bool AppendLine(const std::string& path, const std::string& line) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        platform::CrtFile file;
        const int error = file.Open(
            path,
            platform::CrtFile::kWrite | platform::CrtFile::kCreate | platform::CrtFile::kBinary,
            platform::CrtFile::kDenyReadWrite);
        if (error == 0) {
            int64_t end = 0;
            size_t put = 0;
            const bool written = file.Seek(0, 2, end) == 0 &&
                                 file.Write(line.data(), line.size(), put) == 0 &&
                                 put == line.size();
            return file.Close() == 0 && written;
        }
        if (error != platform::kErrnoAccess) {
            return false;
        }
        platform::SleepMilliseconds(20);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string program = BaseName(platform::ModulePath());
    std::string role;
    if (SameNameIgnoringCase(program, "VemraExam.exe")) {
        role = "VemraExam";
    } else if (SameNameIgnoringCase(program, "VemraDBServer.exe")) {
        role = "VemraDBServer";
    } else {
        std::fprintf(stderr, "standin: run as VemraExam.exe or VemraDBServer.exe, not as %s\n",
                     program.c_str());
        return 2;
    }

    // The marker first: the installer may look for it right after starting us.
    platform::MutexHandle mutex;
    std::optional<platform::WindowRegistration> window;
    if (role == "VemraExam") {
        mutex = platform::CreateNamedMutex("Sorvane+α");
    } else {
        window.emplace("DBMS Server");
    }

    std::string folder;
    if (!platform::CurrentFolder(folder)) {
        folder = "?";
    }
    // The arguments as the C runtime split them (the installer passes none).
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        arguments += std::string(i > 1 ? " " : "") + argv[i];
    }
    const platform::LocalTime now = platform::CurrentLocalTime();
    platform::MakeFolder(kLogFolder);
    const std::string line = platform::StringPrintf(
        "%04d-%02d-%02d %02d:%02d:%02d role=%s folder=%s args=%s\r\n", now.year, now.month, now.day,
        now.hour, now.minute, now.second, role.c_str(), folder.c_str(), arguments.c_str());
    if (!AppendLine(std::string(kLogFolder) + "\\started.log", line)) {
        std::fprintf(stderr, "standin: cannot write %s\\started.log\n", kLogFolder);
    }

    const std::string stopFile = platform::StringPrintf("%s\\stop-%s", kLogFolder, role.c_str());
    for (uint32_t waited = 0; waited < kLifetimeMs; waited += kPollMs) {
        if (platform::FileExists(stopFile)) {
            break;
        }
        platform::SleepMilliseconds(kPollMs);
    }
    return 0;
}
