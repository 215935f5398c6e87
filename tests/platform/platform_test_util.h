// Helpers shared by the platform contract tests of both platforms: enumeration into a list,
// whole-file reads through the platform, and registry values read back. Each platform's
// host_files.h looks at the files from the host's side.
#pragma once

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platformtest {

/// Every name an enumeration yields, in order; empty when First fails (LastError kept).
inline std::vector<std::string> ListNames(const std::string& pattern) {
    std::vector<std::string> names;
    platform::FileFinder finder;
    platform::FindData data;
    if (!finder.First(pattern, data)) {
        return names;
    }
    do {
        names.push_back(data.name);
    } while (finder.Next(data));
    return names;
}

/// The names without "." and "..".
inline std::vector<std::string> WithoutDots(std::vector<std::string> names) {
    std::erase_if(names, [](const std::string& n) { return n == "." || n == ".."; });
    return names;
}

/// Reads a whole file through CrtFile; `error` receives the first errno value met.
inline std::string ReadThroughPlatform(const std::string& path, int& error) {
    platform::CrtFile file;
    error = file.Open(path, platform::CrtFile::kRead | platform::CrtFile::kBinary,
                      platform::CrtFile::kDenyNone);
    std::string contents;
    if (error != 0) {
        return contents;
    }
    char buffer[4096];
    size_t got = 0;
    while ((error = file.Read(buffer, sizeof buffer, got)) == 0 && got > 0) {
        contents.append(buffer, got);
    }
    return contents;
}

/// UTF-16LE bytes of a UTF-8 text, with the terminator unless told otherwise (as a REG_SZ
/// value holds it).
inline std::vector<uint8_t> Utf16Bytes(const std::string& text, bool terminator = true) {
    std::u16string units = platform::Utf8ToUtf16(text);
    if (terminator) {
        units.push_back(u'\0');
    }
    std::vector<uint8_t> bytes;
    for (const char16_t unit : units) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

/// A registry value as the query answered it; `data` holds the value's bytes on success.
struct RegistryQuery {
    long result = -1;
    uint32_t type = 0;
    uint32_t size = 0;
    std::vector<uint8_t> data;
};

/// Opens HKEY_LOCAL_MACHINE\`key` for reading and queries `name` into a buffer of
/// `bufferSize` bytes.
inline RegistryQuery QueryValue(const std::string& key, const std::string& name,
                                uint32_t bufferSize = 1025) {
    RegistryQuery q;
    platform::RegistryHandle handle = nullptr;
    q.result = platform::OpenRegistryKey(platform::LocalMachineRoot(), key, 0,
                                         platform::kKeyQueryValue, &handle);
    if (q.result != 0) {
        return q;
    }
    q.data.assign(bufferSize, 0);
    q.size = bufferSize;
    q.result = platform::QueryRegistryValue(handle, name, &q.type, q.data.data(), &q.size);
    q.data.resize(q.result == 0 ? q.size : 0);
    EXPECT_EQ(platform::CloseRegistryKey(handle), 0);
    return q;
}

/// Expects HKEY_LOCAL_MACHINE\`key` to hold `name` with this type and these bytes.
inline void ExpectValue(const std::string& key, const std::string& name, uint32_t type,
                        const std::vector<uint8_t>& bytes) {
    SCOPED_TRACE(key + " " + name);
    const RegistryQuery q = QueryValue(key, name);
    ASSERT_EQ(q.result, 0);
    EXPECT_EQ(q.type, type);
    EXPECT_EQ(q.size, bytes.size());
    EXPECT_EQ(q.data, bytes);
}

}  // namespace platformtest
