// Shell links and the session's screen log on Windows itself. The machine facts both
// platforms answer alike are in tests/platform/system_contract_test.cpp.
#include "platform/files.h"
#include "platform/process.h"
#include "platform/session.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class WindowsShellTest : public testsupport::MachineTest {};

TEST_F(WindowsShellTest, SavedShellLinkIsAShellLinkFile) {
    ASSERT_TRUE(platform::MakeFolder("C:\\Links"));
    m_machine.WriteHostFile("C:\\Links\\target.exe", "MZ");
    platform::ShellLink link;
    link.target = "C:\\Links\\target.exe";
    link.description = "세무회계 시험";
    link.arguments = "/exam 3";
    link.iconPath = "C:\\Links\\target.exe";
    link.iconIndex = 0;
    link.workingFolder = "C:\\Links";
    ASSERT_EQ(platform::SaveShellLink(link, "C:\\Links\\시험.lnk"), platform::kShellOk);
    const std::string bytes = testsupport::TempMachine::ReadHostFile("C:\\Links\\시험.lnk");
    ASSERT_GE(bytes.size(), 76u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x4c\x00\x00\x00", 4)) << "header size 76";
    EXPECT_EQ(bytes.substr(4, 16),
              std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46", 16))
        << "the shell link class";
    const std::u16string arguments = platform::Utf8ToUtf16("/exam 3");
    const std::string argumentBytes(reinterpret_cast<const char*>(arguments.data()),
                                    arguments.size() * 2);
    EXPECT_NE(bytes.find(argumentBytes), std::string::npos) << "arguments stored in UTF-16";

    // Saving again replaces the file; a folder that does not exist is a failure.
    EXPECT_EQ(platform::SaveShellLink(link, "C:\\Links\\시험.lnk"), platform::kShellOk);
    EXPECT_NE(platform::SaveShellLink(link, "C:\\NoFolder\\x.lnk"), platform::kShellOk);
    platform::NotifyAssociationsChanged();
}

TEST(WindowsSessionTest, ScreenLogIsKeptOnlyWhereItWasAskedFor) {
    const std::string module = platform::ModulePath();
    const std::string log = module.substr(0, module.find_last_of('\\') + 1) + "screen.log";
    platform::RemoveFile(log);
    platform::RecordScreen("box nobody asked for");
    EXPECT_FALSE(platform::FileExists(log)) << "no log is made on an exam PC";

    platform::CrtFile make;
    ASSERT_EQ(make.Open(log, platform::CrtFile::kWrite | platform::CrtFile::kCreate,
                        platform::CrtFile::kDenyNone),
              0);
    make.Close();
    platform::RecordScreen("box one");
    platform::RecordScreen("box 둘");
    EXPECT_EQ(testsupport::TempMachine::ReadHostFile(log), "box one\nbox 둘\n");
    EXPECT_TRUE(platform::RemoveFile(log));

    std::string line = "left over";
    EXPECT_FALSE(platform::HasUserScript());
    EXPECT_EQ(platform::NextScriptedAnswer(line), platform::ScriptAnswer::kNoScript);
    EXPECT_EQ(line, "");
    EXPECT_EQ(platform::MachineFilePath("run/x"), "");
}

}  // namespace
