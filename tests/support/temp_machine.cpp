// Test support: temporary simulated machines.
#include "temp_machine.h"

#include "platform/posix/machine.h"

#include <sys/time.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

TempMachine::TempMachine(const std::string& drives, const std::string& extraIni) {
    std::string templ = (fs::temp_directory_path() / "mivo-test-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder";
        return;
    }
    m_folder = templ;
    fs::create_directories(fs::path(m_folder) / "drive_c" / "Windows" / "system32");
    std::ofstream ini(fs::path(m_folder) / "machine.ini");
    ini << "[drives]\nC = fixed, drive_c\n" << drives << "\n" << extraIni;
    ini.close();
    std::ofstream(fs::path(m_folder) / "registry.reg") << "Windows Registry Editor Version 5.00\n";
    std::string problem;
    if (!platform::posix::UseMachine(m_folder, problem)) {
        ADD_FAILURE() << "cannot load the test machine: " << problem;
    }
}

void TempMachine::Reload() const {
    std::string problem;
    if (!platform::posix::UseMachine(m_folder, problem)) {
        ADD_FAILURE() << "cannot load the test machine again: " << problem;
    }
}

TempMachine::~TempMachine() {
    if (m_folder.empty()) {
        return;
    }
    // Read-only files and folders must not keep the folder alive.
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(m_folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_folder, ec);
    if (ec || fs::exists(m_folder)) {
        ADD_FAILURE() << "cannot remove the test machine " << m_folder << ": " << ec.message();
    }
}

std::string TempMachine::Host(const std::string& windowsPath) const {
    std::string rest = windowsPath;
    std::string host = m_folder;
    if (rest.size() >= 2 && rest[1] == ':') {
        host += "/drive_";
        host += static_cast<char>(std::tolower(static_cast<unsigned char>(rest[0])));
        rest = rest.substr(2);
    }
    for (char& c : rest) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (!rest.empty() && rest.front() != '/') {
        host += '/';
    }
    return host + rest;
}

void TempMachine::WriteHostFile(const std::string& hostPath, const std::string& contents) const {
    fs::create_directories(fs::path(hostPath).parent_path());
    std::ofstream out(hostPath, std::ios::binary);
    out << contents;
}

std::string TempMachine::ReadHostFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void TempMachine::MakeHostFolder(const std::string& hostPath) {
    std::error_code ec;
    fs::create_directories(hostPath, ec);
    if (ec) {
        ADD_FAILURE() << "cannot make the folder " << hostPath << ": " << ec.message();
    }
}

bool TempMachine::SetHostModified(const std::string& hostPath, int64_t seconds) {
    const struct timeval times[2] = {{static_cast<time_t>(seconds), 0},
                                     {static_cast<time_t>(seconds), 0}};
    return utimes(hostPath.c_str(), times) == 0;
}

}  // namespace testsupport
