// Tests of the main program and the services that locate it.
#include "app/prerequisites.h"

#include <cstdlib>
#include <tuple>
#include <vector>

#include "app/registry_settings.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "ui/view.h"

namespace {

constexpr int kMinimumLibraryDate = 20241231;
constexpr int32_t kMinimumPackingDate = 20250814;

// The component files, in the order they are tested.
constexpr const char* kComponentFormats[] = {
    "%s\\VemraDBServer.exe",   "%s\\Corlis2023.dll",      "%s\\2023\\MIVO20190.exe",
    "%s\\2024\\MIVO20190.exe", "%s\\2025\\MIVO20190.exe", "%s\\Corlis2024.dll",
    "%s\\Corlis2025.dll",      "%s\\Tandrel.dll",
};

}  // namespace

bool CheckMainProgramComponents() {
    CRegistryKey root;
    const std::string folder = ReadRegistryString(root, kProductKey, "path", "");
    for (size_t i = 0; i < std::size(kComponentFormats); ++i) {
        const std::string file = platform::StringPrintf(kComponentFormats[i], folder.c_str());
        if (!platform::FileExists(file)) {
            return false;
        }
        if (i == 0 && !IsDbServerVersionSufficient(file)) {
            return false;
        }
        if (i + 1 == std::size(kComponentFormats)) {
            platform::FileStatus status;
            if (!platform::ReadFileStatus(file, status)) {
                return true;
            }
            int year = 0;
            int month = 0;
            int day = 0;
            GetFileDate(status.modified, year, month, day);
            if (year >= 1 && year <= 9998 && month > 0 && day > 0 &&
                year * 10000 + month * 100 + day < kMinimumLibraryDate) {
                return false;
            }
        }
    }
    return true;
}

bool IsDbServerVersionSufficient(const std::string& path) {
    const uint32_t size = platform::FileVersionInfoSize(path);
    if (size == 0) {
        return true;
    }
    std::vector<uint8_t> block;
    if (!platform::ReadFileVersionInfo(path, size, block)) {
        return true;
    }
    platform::FixedFileInfo info;
    if (!platform::QueryFixedFileInfo(block, info)) {
        return true;
    }
    const unsigned major = info.fileVersionMS >> 16;
    const unsigned minor = info.fileVersionMS & 0xFFFF;
    const unsigned third = info.fileVersionLS >> 16;
    if (major == 0) {
        return true;
    }
    if (path.find("VemraDBServer.exe") == std::string::npos) {
        return true;
    }
    // One ordered version: 4.0.0 and 10.2.7 are newer than 3.8.5, whatever their parts.
    return std::tie(major, minor, third) >= std::make_tuple(3u, 8u, 5u);
}

void GetFileDate(int64_t time, int& year, int& month, int& day) {
    platform::LocalTime local;
    if (!platform::UnixToLocalTime(time, local)) {
        year = month = day = 0;
        return;
    }
    year = local.year;
    month = local.month;
    day = local.day;
}

bool IsMainProgramInstalled() {
    CRegistryKey root;
    const std::string folder = ReadRegistryString(root, kProductKey, "path", "");
    if (folder.empty()) {
        return false;
    }
    return platform::FileExists(folder + "\\" + "VemraExam.exe");
}

bool IsMainProgramVersionSufficient() {
    CRegistryKey root;
    const std::string key = platform::StringPrintf(kUninstallKeyFormat, kMainProgramGuid);
    const std::string version = ReadRegistryString(root, key, "DisplayVersion", "");
    if (version.empty()) {
        return false;
    }
    int major = 0;
    int minor = 0;
    const auto dot = version.find('.');
    if (dot == std::string::npos) {
        major = platform::LeadingInt(version);
    } else {
        major = platform::LeadingInt(version.substr(0, dot));
        minor = platform::LeadingInt(version.substr(dot + 1));
    }
    return major >= 1 && (major != 1 || minor >= 1);
}

bool IsPackingDateCurrent() {
    bool keyOpened = false;
    const int32_t date = ReadPackingDate(keyOpened);
    if (!keyOpened) {
        return false;
    }
    return date >= kMinimumPackingDate;
}

bool WaitForMainProgramExit() {
    platform::MutexHandle probe = platform::CreateNamedMutex(kMainProgramMutex);
    while (platform::LastError() == platform::kErrorAlreadyExists) {
        ui::MessageBox(platform::StringPrintf("%s이 실행중입니다. 종료해 주십시요.", kProductName),
                       ui::kMbOk);
        probe.Close();
        probe = platform::CreateNamedMutex(kMainProgramMutex);
    }
    probe.Close();
    return true;
}
