// Registry values of the installer.
#include "app/registry_settings.h"

#include <cstring>
#include <vector>

#include "platform/text.h"

std::string ReadRegistryString(const CRegistryKey& root, const std::string& subkey,
                               const std::string& valueName, const std::string& defaultText) {
    platform::RegistryHandle key = nullptr;
    if (platform::OpenRegistryKey(root.m_hRoot, subkey, 0, platform::kKeyQueryValue, &key) != 0) {
        return defaultText;
    }
    // 1025 bytes hold 512 UTF-16 units, the last of them split; a value that does not fit
    // leaves the zero-filled buffer as it was, so it reads as empty.
    std::vector<uint8_t> buffer(kRegistryStringBufferBytes, 0);
    uint32_t size = kRegistryStringBufferBytes;
    uint32_t type = 0;
    platform::QueryRegistryValue(key, valueName, &type, buffer.data(), &size);
    platform::CloseRegistryKey(key);
    std::u16string text;
    for (size_t i = 0; i + 1 < buffer.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    return platform::Utf16ToUtf8(text);
}

namespace {

// Opens or creates the product key; null on failure.
platform::RegistryHandle OpenProductKeyForWriting(const CRegistryKey& root) {
    platform::RegistryHandle key = nullptr;
    if (platform::CreateRegistryKey(root.m_hRoot, kProductKey, 0, platform::kKeyAllAccess, &key) !=
        0) {
        return nullptr;
    }
    return key;
}

}  // namespace

void WriteInstalledPackagePath(const CRegistryKey& root, const std::string& packagePath) {
    platform::RegistryHandle key = OpenProductKeyForWriting(root);
    if (key == nullptr) {
        return;
    }
    // The byte count is twice the number of UTF-16 units: the terminator is not counted.
    const std::u16string units = platform::Utf8ToUtf16(packagePath);
    std::vector<uint8_t> data;
    data.reserve(units.size() * 2);
    for (char16_t u : units) {
        data.push_back(static_cast<uint8_t>(u & 0xFF));
        data.push_back(static_cast<uint8_t>(u >> 8));
    }
    platform::SetRegistryValue(key, "SAExamDBZIP", platform::kRegSz, data.data(),
                               static_cast<uint32_t>(2 * units.size()));
    platform::CloseRegistryKey(key);
}

void WriteExamKind(const CRegistryKey& root, int32_t examKind) {
    platform::RegistryHandle key = OpenProductKeyForWriting(root);
    if (key == nullptr) {
        return;
    }
    const uint32_t v = static_cast<uint32_t>(examKind);
    const uint8_t data[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                             static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    platform::SetRegistryValue(key, "ExamKind", platform::kRegDword, data, 4);
    platform::CloseRegistryKey(key);
}

int32_t ReadPackingDate(bool& keyOpened) {
    CRegistryKey root;
    platform::RegistryHandle key = nullptr;
    keyOpened = platform::OpenRegistryKey(root.m_hRoot, kProductKey, 0, platform::kKeyQueryValue,
                                          &key) == 0;
    if (!keyOpened) {
        return 0;
    }
    // A value of fewer than four bytes fills the low bytes; the rest stay 0.
    uint8_t buffer[4] = {0, 0, 0, 0};
    uint32_t size = 4;
    uint32_t type = 0;
    platform::QueryRegistryValue(key, "PackingDate", &type, buffer, &size);
    platform::CloseRegistryKey(key);
    const uint32_t v =
        buffer[0] | (buffer[1] << 8) | (buffer[2] << 16) | (static_cast<uint32_t>(buffer[3]) << 24);
    return static_cast<int32_t>(v);
}
