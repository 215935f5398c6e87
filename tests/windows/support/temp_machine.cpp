// Test support on Windows: C:\ of a disposable Wine prefix as the test machine.
#include "temp_machine.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

fs::path PathOf(const std::string& utf8) {
    return fs::path(reinterpret_cast<const char8_t*>(utf8.c_str()));
}

std::vector<std::string> RootNames() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("C:\\", ec)) {
        const std::u8string name = entry.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Removes a tree whose files or folders may be read-only, hidden or system.
void RemoveTree(const fs::path& path, std::error_code& ec) {
    for (auto it = fs::recursive_directory_iterator(path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ec.clear();
    fs::remove_all(path, ec);
}

}  // namespace

bool DisposableWindows() {
    const char* value = std::getenv("MIVO_DISPOSABLE_WINDOWS");
    return value != nullptr && std::string(value) == "1";
}

TempMachine::TempMachine(const std::string& /*drives*/, const std::string& /*extraIni*/) {
    if (!DisposableWindows()) {
        ADD_FAILURE() << "these tests write to C:\\ and run only in a disposable Wine prefix "
                         "(MIVO_DISPOSABLE_WINDOWS=1)";
        return;
    }
    m_rootBefore = RootNames();
    m_folder = "C:\\mivo-test-scratch";
    std::error_code ec;
    fs::create_directories(PathOf(m_folder), ec);
}

TempMachine::~TempMachine() {
    if (m_folder.empty()) {
        return;
    }
    // The process's current folder may lie in a folder the test made.
    SetCurrentDirectoryW(L"C:\\");
    for (const std::string& name : RootNames()) {
        if (std::binary_search(m_rootBefore.begin(), m_rootBefore.end(), name)) {
            continue;
        }
        std::error_code ec;
        const fs::path path = PathOf("C:\\" + name);
        // A program the test started may still be ending, its current folder in the tree:
        // Windows refuses to remove that folder until the program is gone.
        for (int attempt = 0; attempt < 50; ++attempt) {
            RemoveTree(path, ec);
            if (!ec && !fs::exists(path)) {
                break;
            }
            Sleep(100);
        }
        if (ec || fs::exists(path)) {
            ADD_FAILURE() << "cannot remove C:\\" << name << ": " << ec.message();
        }
    }
}

void TempMachine::WriteHostFile(const std::string& hostPath, const std::string& contents) const {
    std::error_code ec;
    fs::create_directories(PathOf(hostPath).parent_path(), ec);
    std::ofstream out(PathOf(hostPath), std::ios::binary);
    out << contents;
}

std::string TempMachine::ReadHostFile(const std::string& hostPath) {
    std::ifstream in(PathOf(hostPath), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void TempMachine::MakeHostFolder(const std::string& hostPath) {
    std::error_code ec;
    fs::create_directories(PathOf(hostPath), ec);
    if (ec) {
        ADD_FAILURE() << "cannot make the folder " << hostPath << ": " << ec.message();
    }
}

bool TempMachine::SetHostModified(const std::string& hostPath, int64_t seconds) {
    HANDLE file = CreateFileW(PathOf(hostPath).c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // FILETIME counts 100-nanosecond steps from 1601.
    const uint64_t ticks = (static_cast<uint64_t>(seconds) + 11644473600ull) * 10000000ull;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    const bool set = SetFileTime(file, nullptr, &time, &time) != 0;
    CloseHandle(file);
    return set;
}

}  // namespace testsupport
