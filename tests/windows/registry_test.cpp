// The registry's contract on Windows: values written through the platform read back with
// their types and bytes, names are found without regard to case, missing keys and values,
// small buffers and keys opened for reading answer as the Reg* calls do.
#include "platform/registry.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using platform::RegistryHandle;

const char kTestKey[] = "SOFTWARE\\MivoWindowsTest";

std::vector<uint8_t> Utf16Bytes(const std::string& text) {
    const std::u16string units = platform::Utf8ToUtf16(text);
    std::vector<uint8_t> bytes;
    for (const char16_t unit : units) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

struct Query {
    long result = -1;
    uint32_t type = 0;
    uint32_t size = 0;
    std::vector<uint8_t> data;
};

Query QueryValue(const std::string& key, const std::string& name) {
    Query q;
    RegistryHandle handle = nullptr;
    q.result = platform::OpenRegistryKey(platform::LocalMachineRoot(), key, 0,
                                         platform::kKeyQueryValue, &handle);
    if (q.result != 0) {
        return q;
    }
    q.data.assign(512, 0);
    q.size = static_cast<uint32_t>(q.data.size());
    q.result = platform::QueryRegistryValue(handle, name, &q.type, q.data.data(), &q.size);
    q.data.resize(q.result == 0 ? q.size : 0);
    platform::CloseRegistryKey(handle);
    return q;
}

class WindowsRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::DisposableWindows()) {
            GTEST_SKIP() << "writes HKEY_LOCAL_MACHINE: only in a disposable Wine prefix";
        }
        RegistryHandle key = nullptr;
        ASSERT_EQ(platform::CreateRegistryKey(platform::LocalMachineRoot(),
                                              std::string(kTestKey) + "\\Exam", 0,
                                              platform::kKeyAllAccess, &key),
                  0);
        Set(key, "path", platform::kRegSz, Utf16Bytes("C:\\Vemra"));
        Set(key, "Title", platform::kRegSz, Utf16Bytes("세무회계 \"특별\" 시험"));
        Set(key, "Count", platform::kRegDword, {0x2a, 0, 0, 0});
        Set(key, "Short", platform::kRegDword, {0x7e, 0xfe, 0x34});
        Set(key, "Blob", platform::kRegBinary, {0x00, 0xff, 0x10});
        platform::CloseRegistryKey(key);
        ASSERT_EQ(platform::CreateRegistryKey(platform::LocalMachineRoot(),
                                              std::string(kTestKey) + "\\Bare", 0,
                                              platform::kKeyAllAccess, &key),
                  0);
        platform::CloseRegistryKey(key);
    }
    static void Set(RegistryHandle key, const std::string& name, uint32_t type,
                    const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(platform::SetRegistryValue(key, name, type, bytes.data(),
                                             static_cast<uint32_t>(bytes.size())),
                  0)
            << name;
    }
};

TEST_F(WindowsRegistryTest, WrittenValuesReadBackWithTypeAndBytes) {
    struct Row {
        const char* key;
        const char* name;
        uint32_t type;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"SOFTWARE\\MivoWindowsTest\\Exam", "path", platform::kRegSz, Utf16Bytes("C:\\Vemra")},
        {"SOFTWARE\\MivoWindowsTest\\Exam", "Title", platform::kRegSz,
         Utf16Bytes("세무회계 \"특별\" 시험")},
        {"SOFTWARE\\MivoWindowsTest\\Exam", "Count", platform::kRegDword, {0x2a, 0, 0, 0}},
        {"SOFTWARE\\MivoWindowsTest\\Exam", "Short", platform::kRegDword, {0x7e, 0xfe, 0x34}},
        {"SOFTWARE\\MivoWindowsTest\\Exam", "Blob", platform::kRegBinary, {0x00, 0xff, 0x10}},
        {"software\\MIVOWINDOWSTEST\\exam", "PATH", platform::kRegSz, Utf16Bytes("C:\\Vemra")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.key) + " " + row.name);
        const Query q = QueryValue(row.key, row.name);
        ASSERT_EQ(q.result, 0);
        EXPECT_EQ(q.type, row.type);
        EXPECT_EQ(q.size, row.bytes.size());
        EXPECT_EQ(q.data, row.bytes);
    }
}

TEST_F(WindowsRegistryTest, ShortNumberLeavesTheRestOfAFourByteBufferZero) {
    RegistryHandle handle = nullptr;
    ASSERT_EQ(
        platform::OpenRegistryKey(platform::LocalMachineRoot(), "SOFTWARE\\MivoWindowsTest\\Exam",
                                  0, platform::kKeyQueryValue, &handle),
        0);
    uint8_t buffer[4] = {0, 0, 0, 0};
    uint32_t size = 4;
    ASSERT_EQ(platform::QueryRegistryValue(handle, "Short", nullptr, buffer, &size), 0);
    EXPECT_EQ(size, 3u);
    int32_t value = 0;
    std::memcpy(&value, buffer, 4);
    EXPECT_EQ(value, 0x34fe7e);
    platform::CloseRegistryKey(handle);
}

TEST_F(WindowsRegistryTest, MissingKeysValuesAndSmallBuffers) {
    RegistryHandle handle = nullptr;
    EXPECT_EQ(
        platform::OpenRegistryKey(platform::LocalMachineRoot(), "SOFTWARE\\MivoWindowsTest\\None",
                                  0, platform::kKeyQueryValue, &handle),
        static_cast<long>(platform::kErrorFileNotFound));
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(QueryValue("SOFTWARE\\MivoWindowsTest\\Bare", "path").result,
              static_cast<long>(platform::kErrorFileNotFound));
    EXPECT_EQ(QueryValue("SOFTWARE\\MivoWindowsTest\\Exam", "nothing").result,
              static_cast<long>(platform::kErrorFileNotFound));

    ASSERT_EQ(
        platform::OpenRegistryKey(platform::LocalMachineRoot(), "SOFTWARE\\MivoWindowsTest\\Exam",
                                  0, platform::kKeyQueryValue, &handle),
        0);
    const std::vector<uint8_t> title = Utf16Bytes("세무회계 \"특별\" 시험");
    std::vector<uint8_t> small(8, 0xAA);
    uint32_t size = static_cast<uint32_t>(small.size());
    uint32_t type = 0;
    EXPECT_EQ(platform::QueryRegistryValue(handle, "Title", &type, small.data(), &size),
              static_cast<long>(platform::kErrorMoreData));
    EXPECT_EQ(size, title.size());

    size = 0;
    type = 0;
    EXPECT_EQ(platform::QueryRegistryValue(handle, "Title", &type, nullptr, &size), 0);
    EXPECT_EQ(size, title.size());
    EXPECT_EQ(type, platform::kRegSz);
    platform::CloseRegistryKey(handle);
}

TEST_F(WindowsRegistryTest, KeyOpenedForQueryRefusesWrites) {
    RegistryHandle handle = nullptr;
    ASSERT_EQ(
        platform::OpenRegistryKey(platform::LocalMachineRoot(), "SOFTWARE\\MivoWindowsTest\\Exam",
                                  0, platform::kKeyQueryValue, &handle),
        0);
    const uint8_t one[4] = {1, 0, 0, 0};
    EXPECT_EQ(platform::SetRegistryValue(handle, "Count", platform::kRegDword, one, 4),
              static_cast<long>(platform::kErrorAccessDenied));
    platform::CloseRegistryKey(handle);
    EXPECT_EQ(QueryValue("SOFTWARE\\MivoWindowsTest\\Exam", "Count").data,
              (std::vector<uint8_t>{0x2a, 0, 0, 0}));
}

TEST_F(WindowsRegistryTest, CreateMakesNestedKeysAndFindsExistingOnes) {
    RegistryHandle handle = nullptr;
    ASSERT_EQ(platform::CreateRegistryKey(platform::LocalMachineRoot(),
                                          "SOFTWARE\\MivoWindowsTest\\New\\Inner\\Leaf", 0,
                                          platform::kKeyAllAccess, &handle),
              0);
    platform::CloseRegistryKey(handle);
    for (const char* key :
         {"SOFTWARE\\MivoWindowsTest\\New", "SOFTWARE\\MivoWindowsTest\\New\\Inner",
          "software\\mivowindowstest\\new\\inner\\LEAF"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(platform::OpenRegistryKey(platform::LocalMachineRoot(), key, 0,
                                            platform::kKeyQueryValue, &handle),
                  0);
        platform::CloseRegistryKey(handle);
    }
    ASSERT_EQ(
        platform::CreateRegistryKey(platform::LocalMachineRoot(), "SOFTWARE\\MIVOWINDOWSTEST\\EXAM",
                                    0, platform::kKeyAllAccess, &handle),
        0);
    uint8_t buffer[4] = {};
    uint32_t size = 4;
    EXPECT_EQ(platform::QueryRegistryValue(handle, "Count", nullptr, buffer, &size), 0);
    EXPECT_EQ(buffer[0], 0x2a);
    platform::CloseRegistryKey(handle);
}

}  // namespace
