// The registry's contract on both platforms (the Windows run compiles this file as it is):
// values written through the platform read back with their types and bytes, names are found
// without regard to case, and missing keys and values, small buffers and keys opened for
// reading answer as the Reg* calls do.
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform_test_util.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using platform::RegistryHandle;
using platformtest::ExpectValue;
using platformtest::QueryValue;
using platformtest::Utf16Bytes;

const std::string kExam = "SOFTWARE\\MivoContractTest\\Exam";
const std::string kBare = "SOFTWARE\\MivoContractTest\\Bare";
const char kTitle[] = "세무회계 \"특별\" 시험";

// The key Exam with a string, a Korean string, a number, a three-byte "number" (as the
// main program's setup writes its packing date) and bytes; the key Bare without values.
class RegistryContractTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        RegistryHandle key = nullptr;
        ASSERT_EQ(platform::CreateRegistryKey(platform::LocalMachineRoot(), kExam, 0,
                                              platform::kKeyAllAccess, &key),
                  0);
        Set(key, "path", platform::kRegSz, Utf16Bytes("C:\\Vemra"));
        Set(key, "Title", platform::kRegSz, Utf16Bytes(kTitle));
        Set(key, "Count", platform::kRegDword, {0x2a, 0, 0, 0});
        Set(key, "Short", platform::kRegDword, {0x7e, 0xfe, 0x34});
        Set(key, "Blob", platform::kRegBinary, {0x00, 0xff, 0x10});
        EXPECT_EQ(platform::CloseRegistryKey(key), 0);
        ASSERT_EQ(platform::CreateRegistryKey(platform::LocalMachineRoot(), kBare, 0,
                                              platform::kKeyAllAccess, &key),
                  0);
        EXPECT_EQ(platform::CloseRegistryKey(key), 0);
        m_machine.Reload();
    }
    static void Set(RegistryHandle key, const std::string& name, uint32_t type,
                    const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(platform::SetRegistryValue(key, name, type, bytes.data(),
                                             static_cast<uint32_t>(bytes.size())),
                  0)
            << name;
    }
};

TEST_F(RegistryContractTest, WrittenValuesReadBackWithTypeAndBytes) {
    struct Row {
        std::string key;
        const char* name;
        uint32_t type;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {kExam, "path", platform::kRegSz, Utf16Bytes("C:\\Vemra")},
        {kExam, "Title", platform::kRegSz, Utf16Bytes(kTitle)},
        {kExam, "Count", platform::kRegDword, {0x2a, 0, 0, 0}},
        {kExam, "Short", platform::kRegDword, {0x7e, 0xfe, 0x34}},
        {kExam, "Blob", platform::kRegBinary, {0x00, 0xff, 0x10}},
        {"software\\MIVOCONTRACTTEST\\exam", "PATH", platform::kRegSz, Utf16Bytes("C:\\Vemra")},
    };
    for (const Row& row : rows) {
        ExpectValue(row.key, row.name, row.type, row.bytes);
    }
}

TEST_F(RegistryContractTest, ShortNumberLeavesTheRestOfAFourByteBufferZero) {
    // What the packing-date read does: a zeroed 32-bit buffer, size 4, type not asked for.
    RegistryHandle handle = nullptr;
    ASSERT_EQ(platform::OpenRegistryKey(platform::LocalMachineRoot(), kExam, 0,
                                        platform::kKeyQueryValue, &handle),
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

TEST_F(RegistryContractTest, MissingKeysValuesAndSmallBuffers) {
    RegistryHandle handle = nullptr;
    for (const std::string& key : {kExam + "\\None", kExam + "\\None\\Deeper"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(platform::OpenRegistryKey(platform::LocalMachineRoot(), key, 0,
                                            platform::kKeyQueryValue, &handle),
                  static_cast<long>(platform::kErrorFileNotFound));
        EXPECT_EQ(handle, nullptr);
    }
    // A key present without the value, a value missing from a key that has others.
    EXPECT_EQ(QueryValue(kBare, "path").result, static_cast<long>(platform::kErrorFileNotFound));
    EXPECT_EQ(QueryValue(kExam, "nothing").result, static_cast<long>(platform::kErrorFileNotFound));

    // A value larger than the buffer: 234 and the size needed. (What the buffer then holds
    // is not defined on Windows.)
    ASSERT_EQ(platform::OpenRegistryKey(platform::LocalMachineRoot(), kExam, 0,
                                        platform::kKeyQueryValue, &handle),
              0);
    const std::vector<uint8_t> title = Utf16Bytes(kTitle);
    std::vector<uint8_t> small(8, 0xAA);
    uint32_t size = static_cast<uint32_t>(small.size());
    uint32_t type = 0;
    EXPECT_EQ(platform::QueryRegistryValue(handle, "Title", &type, small.data(), &size),
              static_cast<long>(platform::kErrorMoreData));
    EXPECT_EQ(size, title.size());

    // Without a buffer the call reports the size and type only.
    size = 0;
    type = 0;
    EXPECT_EQ(platform::QueryRegistryValue(handle, "Title", &type, nullptr, &size), 0);
    EXPECT_EQ(size, title.size());
    EXPECT_EQ(type, platform::kRegSz);
    platform::CloseRegistryKey(handle);
}

TEST_F(RegistryContractTest, KeyOpenedForQueryRefusesWrites) {
    RegistryHandle handle = nullptr;
    ASSERT_EQ(platform::OpenRegistryKey(platform::LocalMachineRoot(), kExam, 0,
                                        platform::kKeyQueryValue, &handle),
              0);
    const uint8_t one[4] = {1, 0, 0, 0};
    EXPECT_EQ(platform::SetRegistryValue(handle, "Count", platform::kRegDword, one, 4),
              static_cast<long>(platform::kErrorAccessDenied));
    platform::CloseRegistryKey(handle);
    EXPECT_EQ(QueryValue(kExam, "Count").data, (std::vector<uint8_t>{0x2a, 0, 0, 0}));
}

TEST_F(RegistryContractTest, CreateMakesNestedKeysAndFindsExistingOnes) {
    RegistryHandle handle = nullptr;
    ASSERT_EQ(platform::CreateRegistryKey(platform::LocalMachineRoot(),
                                          "SOFTWARE\\MivoContractTest\\New\\Inner\\Leaf", 0,
                                          platform::kKeyAllAccess, &handle),
              0);
    platform::CloseRegistryKey(handle);
    m_machine.Reload();
    for (const char* key :
         {"SOFTWARE\\MivoContractTest\\New", "SOFTWARE\\MivoContractTest\\New\\Inner",
          "software\\mivocontracttest\\new\\inner\\LEAF"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(platform::OpenRegistryKey(platform::LocalMachineRoot(), key, 0,
                                            platform::kKeyQueryValue, &handle),
                  0);
        platform::CloseRegistryKey(handle);
    }

    // Creating an existing key under another case opens it: its values stay visible.
    ASSERT_EQ(platform::CreateRegistryKey(platform::LocalMachineRoot(),
                                          "SOFTWARE\\MIVOCONTRACTTEST\\EXAM", 0,
                                          platform::kKeyAllAccess, &handle),
              0);
    uint8_t buffer[4] = {};
    uint32_t size = 4;
    EXPECT_EQ(platform::QueryRegistryValue(handle, "Count", nullptr, buffer, &size), 0);
    EXPECT_EQ(buffer[0], 0x2a);
    platform::CloseRegistryKey(handle);
}

}  // namespace
