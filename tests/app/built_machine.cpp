// Built machines for the application shell's tests.
#include "built_machine.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace apptest {

std::string InstallerProgram() {
    return MIVO_INSTALLER_PATH;
}
std::string StandinProgram() {
    return MIVO_STANDIN_PATH;
}

BuiltMachine::BuiltMachine(machine::MachineRecipe recipe) : m_spec(std::move(recipe)) {
    std::string templ = (fs::temp_directory_path() / "mivo-app-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder";
        return;
    }
    m_spec.folder = templ;
    if (m_spec.installer.empty()) {
        m_spec.installer = InstallerProgram();
    }
    if (m_spec.standin.empty()) {
        m_spec.standin = StandinProgram();
    }
    std::string problem;
    if (!machine::BuildMachine(m_spec, problem)) {
        ADD_FAILURE() << "cannot build the machine: " << problem;
    }
}

BuiltMachine::~BuiltMachine() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(m_spec.folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_spec.folder, ec);
    if (fs::exists(m_spec.folder)) {
        ADD_FAILURE() << "cannot remove the machine " << m_spec.folder;
    }
}

std::string BuiltMachine::Read(const std::string& relative) const {
    std::ifstream in(m_spec.folder + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int BuiltMachine::RunInstaller(const std::string& extraEnvironment) const {
    const std::string command = extraEnvironment + " '" + machine::InstallerHostPath(m_spec) +
                                "' </dev/null >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace apptest
