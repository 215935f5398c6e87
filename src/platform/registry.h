// The machine-wide registry (HKEY_LOCAL_MACHINE), in the shape of the Win32 calls:
// each call answers a Win32 error number (0 on success), as the Reg* functions do.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// An open registry key; null when none.
using RegistryHandle = struct RegistryKeyTag*;

/// The predefined root key HKEY_LOCAL_MACHINE.
RegistryHandle LocalMachineRoot();

/// Value types (REG_*).
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

/// Access rights (KEY_*).
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;

/// RegOpenKeyExW: 2 when the key does not exist.
long OpenRegistryKey(RegistryHandle root, const std::string& subkey, uint32_t options,
                     uint32_t access, RegistryHandle* key);

/// RegCreateKeyExW: opens the key, creating it and its missing parents.
long CreateRegistryKey(RegistryHandle root, const std::string& subkey, uint32_t options,
                       uint32_t access, RegistryHandle* key);

/// RegQueryValueExW: copies the value's bytes (strings as UTF-16LE with their stored
/// terminator) into `data`. `size` holds the buffer size on entry and the value's size on
/// return. 2 when the value is missing, 234 (more data) when the buffer is too small, in
/// which case the buffer's contents are left as they were. `type` and `data` may be null.
long QueryRegistryValue(RegistryHandle key, const std::string& name, uint32_t* type, uint8_t* data,
                        uint32_t* size);

/// RegSetValueExW: stores `size` bytes of `data` with the type, replacing any earlier value.
long SetRegistryValue(RegistryHandle key, const std::string& name, uint32_t type,
                      const uint8_t* data, uint32_t size);

/// RegCloseKey.
long CloseRegistryKey(RegistryHandle key);

}  // namespace platform
