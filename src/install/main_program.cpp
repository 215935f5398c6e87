// The main program's locators and the start of its database server.
#include "install/main_program.h"

#include "app/registry_settings.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"

void StartDatabaseServer() {
    if (platform::FindTopLevelWindow(kDbServerWindowTitle)) {
        return;
    }
    const std::string folder = GetMainProgramPath();
    const std::string server = platform::StringPrintf("%s\\VemraDBServer.exe", folder.c_str());
    platform::StartProcess(server, "", GetMainProgramPath(), platform::kShowNormal, 0, 0);
}

std::string GetMainProgramPath() {
    CRegistryKey root;
    const std::string fallback = platform::StringPrintf("%c:\\Vemra", GetTargetDriveLetter());
    return ReadRegistryString(root, kProductKey, "path", fallback);
}

char GetTargetDriveLetter() {
    const std::string folder = platform::SystemFolder();
    return folder.empty() ? '\0' : folder[0];
}
