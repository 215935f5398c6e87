// The installer's registry values: defaults, the buffer rule, and what is written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/registry_settings.h"
#include "install/main_program.h"
#include "platform/registry.h"
#include "temp_machine.h"

namespace {

using testsupport::TempMachine;

void WriteRegistry(const TempMachine& m, const std::string& body) {
    m.WriteHostFile(m.Folder() + "/registry.reg",
                    "Windows Registry Editor Version 5.00\n\n" + body);
}

std::vector<uint8_t> RawValue(const std::string& name, uint32_t& type) {
    platform::RegistryHandle key = nullptr;
    EXPECT_EQ(platform::OpenRegistryKey(platform::LocalMachineRoot(), kProductKey, 0,
                                        platform::kKeyQueryValue, &key),
              0);
    std::vector<uint8_t> data(4096);
    uint32_t size = static_cast<uint32_t>(data.size());
    EXPECT_EQ(platform::QueryRegistryValue(key, name, &type, data.data(), &size), 0);
    platform::CloseRegistryKey(key);
    data.resize(size);
    return data;
}

TEST(RegistrySettings, DefaultsOfTheStringRead) {
    TempMachine m;
    CRegistryKey root;
    // No key: exactly the default; GetMainProgramPath's default is the system drive's Vemra.
    EXPECT_EQ(ReadRegistryString(root, kProductKey, "path", "fallback"), "fallback");
    EXPECT_EQ(GetMainProgramPath(), "C:\\Vemra");
    // The key without the value: empty, even with a default.
    WriteRegistry(m, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvik\\SorvaneEdu]\n\"other\"=\"x\"\n");
    EXPECT_EQ(ReadRegistryString(root, kProductKey, "path", "fallback"), "");
    EXPECT_EQ(GetMainProgramPath(), "");
    // Korean text and key names without regard to case.
    WriteRegistry(m,
                  "[HKEY_LOCAL_MACHINE\\software\\HALVIK\\sorvaneedu]\n\"PATH\"=\"D:\\\\시험\\\\"
                  "Vemra\"\n");
    EXPECT_EQ(ReadRegistryString(root, kProductKey, "path", ""), "D:\\시험\\Vemra");
}

TEST(RegistrySettings, StringBufferHoldsFiveHundredElevenUnits) {
    TempMachine m;
    CRegistryKey root;
    const std::string fits(511, 'a');
    const std::string tooLong(512, 'b');
    WriteRegistry(m, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvik\\SorvaneEdu]\n\"fits\"=\"" + fits +
                         "\"\n\"long\"=\"" + tooLong + "\"\n");
    EXPECT_EQ(ReadRegistryString(root, kProductKey, "fits", "d"), fits);
    // 512 units and the terminator are 1026 bytes: the read fails and the buffer stays zero.
    EXPECT_EQ(ReadRegistryString(root, kProductKey, "long", "d"), "");
}

TEST(RegistrySettings, WrittenValuesForTheMainProgram) {
    TempMachine m;
    CRegistryKey root;
    // The key is made on first use; the path's bytes are two per unit, without a terminator.
    WriteInstalledPackagePath(root, "D:\\패키지\\BaseData\\Level1\\VemraExamDB.zip");
    uint32_t type = 0;
    std::vector<uint8_t> data = RawValue("SAExamDBZIP", type);
    EXPECT_EQ(type, platform::kRegSz);
    EXPECT_EQ(ReadRegistryString(root, kProductKey, "SAExamDBZIP", ""),
              "D:\\패키지\\BaseData\\Level1\\VemraExamDB.zip");
    // Written twice: the second replaces the first.
    WriteInstalledPackagePath(root, "D:\\P\\BaseData\\Level3\\VemraExamDB.zip");
    EXPECT_EQ(ReadRegistryString(root, kProductKey, "SAExamDBZIP", ""),
              "D:\\P\\BaseData\\Level3\\VemraExamDB.zip");

    WriteExamKind(root, 3);
    data = RawValue("ExamKind", type);
    EXPECT_EQ(type, platform::kRegDword);
    EXPECT_EQ(data, (std::vector<uint8_t>{3, 0, 0, 0}));
    WriteExamKind(root, -2);
    data = RawValue("ExamKind", type);
    EXPECT_EQ(data, (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    // The text the main program reads back.
    const std::string text = TempMachine::ReadHostFile(m.Folder() + "/registry.reg");
    EXPECT_NE(text.find("\"ExamKind\"=dword:fffffffe"), std::string::npos) << text;
    EXPECT_NE(text.find("\"SAExamDBZIP\"=\"D:\\\\P\\\\BaseData\\\\Level3\\\\VemraExamDB.zip\""),
              std::string::npos)
        << text;
}

TEST(RegistrySettings, PackingDateKeyMissingOrValueMissing) {
    TempMachine m;
    bool opened = true;
    EXPECT_EQ(ReadPackingDate(opened), 0);
    EXPECT_FALSE(opened);
    WriteRegistry(m, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvik\\SorvaneEdu]\n");
    EXPECT_EQ(ReadPackingDate(opened), 0);
    EXPECT_TRUE(opened);
    WriteRegistry(m,
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvik\\SorvaneEdu]\n"
                  "\"PackingDate\"=dword:0134fe7e\n");
    EXPECT_EQ(ReadPackingDate(opened), 0x0134fe7e);
}

}  // namespace
