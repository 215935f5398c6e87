// The registry values the installer reads about the main program and the two it leaves
// for it, all under HKEY_LOCAL_MACHINE; no registry failure is ever shown to the user.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

/// The product line's key.
inline constexpr const char* kProductKey = "SOFTWARE\\Halvik\\SorvaneEdu";
/// The main program's uninstall key: the format and its GUID.
inline constexpr const char* kUninstallKeyFormat =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{%s}";
inline constexpr const char* kMainProgramGuid = "5A0C7E21-9D3B-4F68-B2E4-71C9A8D3F046";
/// The size in bytes of the buffer a string value is read into.
inline constexpr uint32_t kRegistryStringBufferBytes = 1025;

/// Holds the root key of every registry operation; it never keeps a subkey open.
class CRegistryKey {
public:
    CRegistryKey() : m_hRoot(platform::LocalMachineRoot()) {}
    virtual ~CRegistryKey() = default;

    platform::RegistryHandle m_hRoot;  // HKEY_LOCAL_MACHINE
};

/// The text of a string value: `defaultText` when the key cannot be opened, the empty
/// string when the key exists without the value (or the value does not fit the buffer).
std::string ReadRegistryString(const CRegistryKey& root, const std::string& subkey,
                               const std::string& valueName, const std::string& defaultText);

/// Records the installed package's path as "SAExamDBZIP"; failures are silent.
void WriteInstalledPackagePath(const CRegistryKey& root, const std::string& packagePath);

/// Records the installed package's exam kind as "ExamKind"; failures are silent.
void WriteExamKind(const CRegistryKey& root, int32_t examKind);

/// "PackingDate" as a signed number: 0 when the value is missing; `keyOpened` is false
/// when the product key cannot be opened.
int32_t ReadPackingDate(bool& keyOpened);
