// Contract of the registry: values read from and written to the machine's registry.reg
// ("Windows Registry Editor Version 5.00" text), with the Win32 answers of the Reg* calls.
#include "platform/registry.h"
#include "platform/posix/machine.h"
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

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorMoreData = 234;

const char kSeed[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\MivoTest\\Exam]\r\n"
    "\"path\"=\"C:\\\\Vemra\"\r\n"
    "\"Title\"=\"세무회계 \\\"특별\\\" 시험\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Short\"=hex(4):7e,fe,34\r\n"
    "\"Blob\"=hex:00,ff,10\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\MivoTest\\Bare]\r\n";

// The text of registry.reg as UTF-8, whether it was written as UTF-8 or as UTF-16LE with
// a byte-order mark (as regedit exports it).
std::string RegText(const std::string& raw) {
    if (raw.size() >= 2 && static_cast<uint8_t>(raw[0]) == 0xFF &&
        static_cast<uint8_t>(raw[1]) == 0xFE) {
        std::u16string units;
        for (size_t i = 2; i + 1 < raw.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<uint8_t>(raw[i]) |
                                                  static_cast<uint8_t>(raw[i + 1]) << 8));
        }
        return platform::Utf16ToUtf8(units);
    }
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        return raw.substr(3);
    }
    return raw;
}

class RegistryTest : public testsupport::MachineTest {
protected:
    void SetUp() override { SeedAndReload(kSeed); }

    void SeedAndReload(const std::string& text) {
        m_machine.WriteHostFile(m_machine.Folder() + "/registry.reg", text);
        Reload();
    }
    // Loads the machine again, so nothing the platform kept in memory can answer.
    void Reload() {
        std::string problem;
        ASSERT_TRUE(platform::posix::UseMachine(m_machine.Folder(), problem)) << problem;
    }
    std::string RegistryFileText() const {
        return RegText(
            testsupport::TempMachine::ReadHostFile(m_machine.Folder() + "/registry.reg"));
    }

    void Set(const std::string& key, const std::string& name, uint32_t type,
             const std::vector<uint8_t>& bytes) {
        RegistryHandle handle = nullptr;
        ASSERT_EQ(platform::CreateRegistryKey(platform::LocalMachineRoot(), key, 0,
                                              platform::kKeyAllAccess, &handle),
                  0);
        EXPECT_EQ(platform::SetRegistryValue(handle, name, type, bytes.data(),
                                             static_cast<uint32_t>(bytes.size())),
                  0);
        EXPECT_EQ(platform::CloseRegistryKey(handle), 0);
    }
};

TEST_F(RegistryTest, ReadsValuesOfTheRegText) {
    struct Row {
        const char* key;
        const char* name;
        uint32_t type;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"SOFTWARE\\MivoTest\\Exam", "path", platform::kRegSz, Utf16Bytes("C:\\Vemra", true)},
        {"SOFTWARE\\MivoTest\\Exam", "Title", platform::kRegSz,
         Utf16Bytes("세무회계 \"특별\" 시험", true)},
        {"SOFTWARE\\MivoTest\\Exam", "Count", platform::kRegDword, {0x2a, 0, 0, 0}},
        {"SOFTWARE\\MivoTest\\Exam", "Short", platform::kRegDword, {0x7e, 0xfe, 0x34}},
        {"SOFTWARE\\MivoTest\\Exam", "Blob", platform::kRegBinary, {0x00, 0xff, 0x10}},
        // Key and value names are found without regard to case.
        {"software\\MIVOTEST\\exam", "PATH", platform::kRegSz, Utf16Bytes("C:\\Vemra", true)},
    };
    for (const Row& row : rows) {
        ExpectValue(row.key, row.name, row.type, row.bytes);
    }
}

TEST_F(RegistryTest, WrittenValuesRoundTripThroughTheRegText) {
    const std::string korean = "C:\\시험\\BaseData\\Level1\\VemraExamDB.zip";
    Set("SOFTWARE\\MivoTest\\Written", "Korean", platform::kRegSz, Utf16Bytes(korean, true));
    Set("SOFTWARE\\MivoTest\\Written", "Kind", platform::kRegDword, {3, 0, 0, 0});
    Set("SOFTWARE\\MivoTest\\Written", "Short", platform::kRegDword, {1, 2, 3});
    Set("SOFTWARE\\MivoTest\\Written", "Quoted", platform::kRegSz,
        Utf16Bytes("say \"hi\" C:\\x", true));
    Set("SOFTWARE\\MivoTest\\Written", "Bytes", platform::kRegBinary, {0xde, 0xad, 0x00});
    // Replacing a value keeps one line for it.
    Set("SOFTWARE\\MivoTest\\Written", "Kind", platform::kRegDword, {2, 0, 0, 0});

    const std::string text = RegistryFileText();
    SCOPED_TRACE(text);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\MivoTest\\Written]"), std::string::npos);
    EXPECT_NE(text.find("\"Korean\"=\"C:\\\\시험\\\\BaseData\\\\Level1\\\\VemraExamDB.zip\""),
              std::string::npos);
    EXPECT_NE(text.find("\"Kind\"=dword:00000002"), std::string::npos);
    EXPECT_EQ(text.find("dword:00000003"), std::string::npos) << "the replaced value is gone";
    EXPECT_NE(text.find("\"Short\"=hex(4):01,02,03"), std::string::npos);
    EXPECT_NE(text.find("\"Quoted\"=\"say \\\"hi\\\" C:\\\\x\""), std::string::npos);
    EXPECT_NE(text.find("\"Bytes\"=hex:de,ad,00"), std::string::npos);
    // What was there before the writes is still there.
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\MivoTest\\Bare]"), std::string::npos);
    EXPECT_NE(text.find("\"Count\"=dword:0000002a"), std::string::npos);

    Reload();
    struct Row {
        const char* key;
        const char* name;
        uint32_t type;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"SOFTWARE\\MivoTest\\Written", "Korean", platform::kRegSz, Utf16Bytes(korean, true)},
        {"SOFTWARE\\MivoTest\\Written", "Kind", platform::kRegDword, {2, 0, 0, 0}},
        {"SOFTWARE\\MivoTest\\Written", "Short", platform::kRegDword, {1, 2, 3}},
        {"SOFTWARE\\MivoTest\\Written", "Quoted", platform::kRegSz,
         Utf16Bytes("say \"hi\" C:\\x", true)},
        {"SOFTWARE\\MivoTest\\Written", "Bytes", platform::kRegBinary, {0xde, 0xad, 0x00}},
        {"SOFTWARE\\MivoTest\\Exam", "Title", platform::kRegSz,
         Utf16Bytes("세무회계 \"특별\" 시험", true)},
        {"SOFTWARE\\MivoTest\\Exam", "Short", platform::kRegDword, {0x7e, 0xfe, 0x34}},
    };
    for (const Row& row : rows) {
        ExpectValue(row.key, row.name, row.type, row.bytes);
    }
    EXPECT_EQ(QueryValue("SOFTWARE\\MivoTest\\Bare", "x").result, kErrorFileNotFound)
        << "the empty key survives the rewrite";
}

TEST_F(RegistryTest, StringWrittenWithoutTerminatorReadsBackAsItsText) {
    // The installer stores paths with a byte count of 2 x length, without the terminator.
    const std::string path = "E:\\패키지\\BaseData\\Level2\\VemraExamDB.zip";
    Set("SOFTWARE\\MivoTest\\Exam", "SAExamDBZIP", platform::kRegSz, Utf16Bytes(path, false));
    EXPECT_NE(RegistryFileText().find("\"SAExamDBZIP\"=\"E:\\\\패키지\\\\BaseData\\\\Level2\\\\"
                                      "VemraExamDB.zip\""),
              std::string::npos);
    Reload();
    const auto q = QueryValue("SOFTWARE\\MivoTest\\Exam", "SAExamDBZIP");
    ASSERT_EQ(q.result, kErrorSuccess);
    EXPECT_EQ(q.type, platform::kRegSz);
    const std::vector<uint8_t> bare = Utf16Bytes(path, false);
    ASSERT_GE(q.data.size(), bare.size());
    EXPECT_EQ(std::vector<uint8_t>(q.data.begin(), q.data.begin() + bare.size()), bare);
    for (size_t i = bare.size(); i < q.data.size(); ++i) {
        EXPECT_EQ(q.data[i], 0) << "only a terminator may follow the text";
    }
}

TEST_F(RegistryTest, RegistryFileIsReadAgainAtEachAccess) {
    // Another program (the main program's setup) changes the file while we run.
    m_machine.WriteHostFile(m_machine.Folder() + "/registry.reg",
                            std::string(kSeed) +
                                "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Late]\r\n"
                                "\"When\"=dword:00000007\r\n");
    const auto q = QueryValue("SOFTWARE\\Late", "When");
    ASSERT_EQ(q.result, kErrorSuccess);
    EXPECT_EQ(q.data, (std::vector<uint8_t>{7, 0, 0, 0}));
}

TEST(RegistryFileTest, UnreadableRegTextIsReportedWithFileAndLine) {
    testsupport::TempMachine machine;
    machine.WriteHostFile(machine.Folder() + "/registry.reg",
                          "Windows Registry Editor Version 5.00\n"
                          "\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken]\n"
                          "\"Count\"=dword:xyz\n");
    std::string problem;
    const bool loaded = platform::posix::UseMachine(machine.Folder(), problem);
    if (loaded) {
        // A machine may read its registry lazily; then the first access must fail instead.
        RegistryHandle handle = nullptr;
        EXPECT_NE(platform::OpenRegistryKey(platform::LocalMachineRoot(), "SOFTWARE\\Broken", 0,
                                            platform::kKeyQueryValue, &handle),
                  0);
    } else {
        EXPECT_NE(problem.find("registry.reg"), std::string::npos) << problem;
        EXPECT_NE(problem.find('4'), std::string::npos) << problem;
    }
}

TEST(MachineFileTest, UnreadableMachineIniIsReportedWithFileAndLine) {
    testsupport::TempMachine machine;
    machine.WriteHostFile(machine.Folder() + "/machine.ini",
                          "[drives]\nC = fixed, drive_c\nthis line means nothing\n");
    std::string problem;
    EXPECT_FALSE(platform::posix::UseMachine(machine.Folder(), problem));
    EXPECT_NE(problem.find("machine.ini"), std::string::npos) << problem;
    EXPECT_NE(problem.find('3'), std::string::npos) << problem;
}

// What regedit itself writes: comments, the default value "@", long hex lists continued
// over lines with a trailing backslash, and hex(2) and hex(7) for expandable and multiple
// strings.
TEST_F(RegistryTest, ReadsTheFormsRegeditWrites) {
    SeedAndReload(
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; exported for the test\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\MivoTest\\Forms]\r\n"
        "@=\"기본값\"\r\n"
        "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
        "  16,17,18,19\r\n"
        "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n");
    std::vector<uint8_t> longBytes;
    for (uint8_t b = 0; b < 0x1a; ++b) {
        longBytes.push_back(b);
    }
    struct Row {
        const char* name;
        uint32_t type;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"", platform::kRegSz, Utf16Bytes("기본값", true)},
        {"Long", platform::kRegBinary, longBytes},
        {"Expand", platform::kRegExpandSz, Utf16Bytes("%TEMP%", true)},
        {"Multi", platform::kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        ExpectValue("SOFTWARE\\MivoTest\\Forms", row.name, row.type, row.bytes);
    }
}

// Every value must come back as it was stored, whatever its bytes: the text form is only
// a way of keeping them.
TEST_F(RegistryTest, UnusualValuesSurviveTheRoundTrip) {
    struct Row {
        const char* name;
        uint32_t type;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"", platform::kRegSz, Utf16Bytes("기본 \"값\"", true)},
        {"Quote\"d\\Name", platform::kRegDword, {9, 0, 0, 0}},
        {"값 이름", platform::kRegSz, Utf16Bytes("한글", true)},
        {"Odd", platform::kRegSz, {'A', 0, 'B'}},
        {"TwoStrings", platform::kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}},
        {"Multi", platform::kRegMultiSz, {'x', 0, 0, 0, 0, 0}},
        {"Empty", platform::kRegBinary, {}},
        {"EightBytes", platform::kRegDword, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"QWord", 11, {1, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        Set("SOFTWARE\\MivoTest\\Unusual", row.name, row.type, row.bytes);
    }
    Reload();
    for (const Row& row : rows) {
        ExpectValue("SOFTWARE\\MivoTest\\Unusual", row.name, row.type, row.bytes);
    }
}

// regedit exports "Windows Registry Editor Version 5.00" files as UTF-16LE with a
// byte-order mark; such a file dropped into a machine is read like the UTF-8 one.
TEST_F(RegistryTest, ReadsARegeditExportInUtf16) {
    const std::u16string text = platform::Utf8ToUtf16(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\MivoTest\\Exported]\r\n"
        "\"Name\"=\"내보낸 값\"\r\n");
    std::string raw = "\xFF\xFE";
    for (char16_t u : text) {
        raw.push_back(static_cast<char>(u & 0xFF));
        raw.push_back(static_cast<char>(u >> 8));
    }
    SeedAndReload(raw);
    const auto q = QueryValue("SOFTWARE\\MivoTest\\Exported", "Name");
    ASSERT_EQ(q.result, kErrorSuccess);
    EXPECT_EQ(q.data, Utf16Bytes("내보낸 값", true));
}

}  // namespace
