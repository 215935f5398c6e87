// HKEY_LOCAL_MACHINE through the Reg*W calls, in the process's default view of the
// registry (a 64-bit program sees the 64-bit view).
#include "platform/registry.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

HKEY ToKey(RegistryHandle handle) {
    return reinterpret_cast<HKEY>(handle);
}

RegistryHandle FromKey(HKEY key) {
    return reinterpret_cast<RegistryHandle>(key);
}

}  // namespace

RegistryHandle LocalMachineRoot() {
    return FromKey(HKEY_LOCAL_MACHINE);
}

long OpenRegistryKey(RegistryHandle root, const std::string& subkey, uint32_t options,
                     uint32_t access, RegistryHandle* key) {
    HKEY opened = nullptr;
    const LONG result =
        RegOpenKeyExW(ToKey(root), win32::Wide(subkey).c_str(), options, access, &opened);
    *key = result == ERROR_SUCCESS ? FromKey(opened) : nullptr;
    return result;
}

long CreateRegistryKey(RegistryHandle root, const std::string& subkey, uint32_t options,
                       uint32_t access, RegistryHandle* key) {
    HKEY created = nullptr;
    const LONG result = RegCreateKeyExW(ToKey(root), win32::Wide(subkey).c_str(), 0, nullptr,
                                        options, access, nullptr, &created, nullptr);
    *key = result == ERROR_SUCCESS ? FromKey(created) : nullptr;
    return result;
}

long QueryRegistryValue(RegistryHandle key, const std::string& name, uint32_t* type, uint8_t* data,
                        uint32_t* size) {
    DWORD valueType = 0;
    DWORD valueSize = size != nullptr ? *size : 0;
    const LONG result = RegQueryValueExW(ToKey(key), win32::Wide(name).c_str(), nullptr, &valueType,
                                         data, size != nullptr ? &valueSize : nullptr);
    if (type != nullptr && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)) {
        *type = valueType;
    }
    if (size != nullptr && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)) {
        *size = valueSize;
    }
    return result;
}

long SetRegistryValue(RegistryHandle key, const std::string& name, uint32_t type,
                      const uint8_t* data, uint32_t size) {
    return RegSetValueExW(ToKey(key), win32::Wide(name).c_str(), 0, type, data, size);
}

long CloseRegistryKey(RegistryHandle key) {
    return RegCloseKey(ToKey(key));
}

}  // namespace platform
