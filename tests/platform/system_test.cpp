// The machine facts of a simulated machine: a Korean Windows's defaults, the facts
// machine.ini sets, local time in its time zone, and debugger output into its run folder.
// What Windows answers alike is in system_contract_test.cpp.
#include "platform/system.h"
#include "platform/posix/machine.h"
#include "platform/text.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SystemTest, DefaultsOfAKoreanWindows) {
    testsupport::TempMachine machine;
    EXPECT_EQ(platform::SystemFolder(), "C:\\Windows\\system32");
    EXPECT_EQ(platform::AnsiCodePage(), 949u);
    EXPECT_EQ(platform::OemCodePage(), 949u);
    EXPECT_GT(platform::ScreenWidth(), 0);
    EXPECT_GT(platform::ScreenHeight(), 0);
}

TEST(SystemTest, MachineIniSetsTheFacts) {
    testsupport::TempMachine machine("D = fixed, drive_d\n",
                                     "[system]\n"
                                     "directory = D:\\WINNT\\system32\n"
                                     "screen = 1366x768\n"
                                     "desktop = D:\\Users\\수험자\\Desktop\n"
                                     "common_desktop = D:\\Users\\Public\\Desktop\n"
                                     "ansi_codepage = 1252\n"
                                     "oem_codepage = 437\n");
    EXPECT_EQ(platform::SystemFolder(), "D:\\WINNT\\system32");
    EXPECT_EQ(platform::ScreenWidth(), 1366);
    EXPECT_EQ(platform::ScreenHeight(), 768);
    EXPECT_EQ(platform::AnsiCodePage(), 1252u);
    EXPECT_EQ(platform::OemCodePage(), 437u);
    struct Row {
        int csidl;
        const char* path;
    };
    const Row rows[] = {
        {platform::kCsidlDesktop, "D:\\Users\\수험자\\Desktop"},
        {platform::kCsidlDesktopDirectory, "D:\\Users\\수험자\\Desktop"},
        {platform::kCsidlCommonDesktopDirectory, "D:\\Users\\Public\\Desktop"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.csidl);
        std::string path;
        EXPECT_TRUE(platform::SpecialFolderPath(row.csidl, path));
        EXPECT_EQ(path, row.path);
    }
    std::string path;
    EXPECT_FALSE(platform::SpecialFolderPath(0x7777, path));
}

TEST(SystemTest, LocalTimeFollowsTheMachinesTimeZone) {
    testsupport::TempMachine machine("", "[system]\ntimezone = Asia/Seoul\n");
    platform::LocalTime local;
    // 2024-12-30 15:00 UTC is already the last day of the year in Seoul.
    ASSERT_TRUE(platform::UnixToLocalTime(1735570800, local));
    EXPECT_EQ(local.year, 2024);
    EXPECT_EQ(local.month, 12);
    EXPECT_EQ(local.day, 31);
    EXPECT_EQ(local.hour, 0);
    EXPECT_EQ(local.minute, 0);
    EXPECT_EQ(local.second, 0);
    EXPECT_EQ(local.weekday, 2);  // Tuesday
    EXPECT_EQ(platform::LocalTimeToUnix(local), 1735570800);

    ASSERT_TRUE(platform::UnixToLocalTime(0, local));
    EXPECT_EQ(local.year, 1970);
    EXPECT_EQ(local.hour, 9);

    // The Windows runtime converts nothing before 1970 nor after the year 3000.
    EXPECT_FALSE(platform::UnixToLocalTime(-1, local));
    EXPECT_EQ(local.year, 0);
    EXPECT_FALSE(platform::UnixToLocalTime(32535216000LL, local));
}

TEST(SystemTest, DebugOutputAppendsLinesToDebugLog) {
    testsupport::TempMachine machine;
    platform::DebugOutput("[Mivo] 설치 시작");
    platform::DebugOutput("second line\n");
    platform::DebugOutput("");
    EXPECT_EQ(testsupport::TempMachine::ReadHostFile(machine.Folder() + "/run/debug.log"),
              "[Mivo] 설치 시작\nsecond line\n\n");
}

}  // namespace
