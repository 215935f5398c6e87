// Facts about Windows and the moment, code pages and shell links, on Windows itself.
#include "platform/system.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/session.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           platform::SameNameNoCase(text.substr(text.size() - tail.size()), tail);
}

TEST(WindowsSystemTest, SystemFolderAndScreen) {
    const std::string system = platform::SystemFolder();
    EXPECT_TRUE(EndsWithNoCase(system, "\\system32")) << system;
    EXPECT_NE(platform::FileAttributes(system) & platform::kAttrDirectory, 0u) << system;
    EXPECT_GT(platform::ScreenWidth(), 0);
    EXPECT_GT(platform::ScreenHeight(), 0);
    EXPECT_NE(platform::AnsiCodePage(), 0u);
    EXPECT_NE(platform::OemCodePage(), 0u);
}

TEST(WindowsSystemTest, SpecialFoldersAreWindowsPaths) {
    for (const int csidl :
         {platform::kCsidlDesktopDirectory, platform::kCsidlCommonDesktopDirectory}) {
        SCOPED_TRACE("CSIDL " + std::to_string(csidl));
        std::string path;
        ASSERT_TRUE(platform::SpecialFolderPath(csidl, path));
        ASSERT_GE(path.size(), 3u);
        EXPECT_EQ(path.substr(1, 2), ":\\") << path;
        EXPECT_TRUE(EndsWithNoCase(path, "\\Desktop")) << path;
    }
}

TEST(WindowsSystemTest, CodePagesDecodeAsWindowsDoes) {
    struct Row {
        unsigned codePage;
        std::string bytes;
        std::string text;
    };
    const Row rows[] = {
        {949, "\xbd\xc3\xc7\xe8 A", "시험 A"},
        {437, "\x80\x81", "Çü"},
        {1252, "\x80\xe9", "€é"},
        {65001, "\xea\xb0\x80", "가"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("code page " + std::to_string(row.codePage));
        std::string out;
        EXPECT_TRUE(platform::CodePageToUtf8(row.codePage, row.bytes, out));
        EXPECT_EQ(out, row.text);
    }
    std::string latin;
    EXPECT_FALSE(platform::CodePageToUtf8(12345, "a\xe9", latin)) << "unknown code page";
    EXPECT_EQ(latin, "aé");
}

TEST(WindowsSystemTest, LocalTimeRoundTripsAndRefusesWhatTheRuntimeRefuses) {
    const int64_t now = platform::CurrentUnixTime();
    EXPECT_GT(now, 1600000000);
    for (const int64_t seconds : {now, int64_t{0} + 86400, int64_t{1700000000}}) {
        SCOPED_TRACE(seconds);
        platform::LocalTime local;
        ASSERT_TRUE(platform::UnixToLocalTime(seconds, local));
        EXPECT_EQ(platform::LocalTimeToUnix(local), seconds);
    }
    platform::LocalTime local;
    EXPECT_FALSE(platform::UnixToLocalTime(-1, local));
    EXPECT_FALSE(platform::UnixToLocalTime(int64_t{40000000000}, local)) << "past year 3000";

    const platform::LocalTime current = platform::CurrentLocalTime();
    platform::LocalTime converted;
    ASSERT_TRUE(platform::UnixToLocalTime(platform::CurrentUnixTime(), converted));
    EXPECT_EQ(current.year, converted.year);
    EXPECT_EQ(current.month, converted.month);
    EXPECT_GE(current.month, 1);
    EXPECT_LE(current.month, 12);
}

TEST(WindowsSystemTest, SleepAndTickCount) {
    const uint32_t start = platform::TickCount();
    platform::SleepMilliseconds(200);
    const uint32_t elapsed = platform::TickCount() - start;
    EXPECT_GE(elapsed, 150u);
    EXPECT_LT(elapsed, 5000u);
}

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
