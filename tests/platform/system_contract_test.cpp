// The machine facts on both platforms (the Windows run compiles this file as it is): the
// system folder and the screen, the desktop folders, code pages and their decoding, local
// time and its limits, waiting and the tick count. The facts a simulated machine takes from
// its machine.ini are in system_test.cpp.
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           platform::SameNameNoCase(text.substr(text.size() - tail.size()), tail);
}

class SystemContractTest : public testsupport::MachineTest {};

TEST_F(SystemContractTest, SystemFolderAndScreen) {
    const std::string system = platform::SystemFolder();
    EXPECT_EQ(system.substr(1, 2), ":\\") << system;
    EXPECT_TRUE(EndsWithNoCase(system, "\\system32")) << system;
    EXPECT_NE(platform::FileAttributes(system) & platform::kAttrDirectory, 0u) << system;
    EXPECT_GT(platform::ScreenWidth(), 0);
    EXPECT_GT(platform::ScreenHeight(), 0);
    EXPECT_NE(platform::AnsiCodePage(), 0u);
    EXPECT_NE(platform::OemCodePage(), 0u);
}

TEST_F(SystemContractTest, SpecialFoldersAreWindowsPaths) {
    for (const int csidl : {platform::kCsidlDesktop, platform::kCsidlDesktopDirectory,
                            platform::kCsidlCommonDesktopDirectory}) {
        SCOPED_TRACE("CSIDL " + std::to_string(csidl));
        std::string path;
        ASSERT_TRUE(platform::SpecialFolderPath(csidl, path));
        ASSERT_GE(path.size(), 3u);
        EXPECT_EQ(path.substr(1, 2), ":\\") << path;
        EXPECT_TRUE(EndsWithNoCase(path, "\\Desktop")) << path;
    }
}

// Byte values from Python's own cp949/cp437/cp1252 codecs, which share no code with ours.
TEST_F(SystemContractTest, CodePagesDecodeAsWindowsDoes) {
    struct Row {
        unsigned codePage;
        std::string bytes;
        std::string text;
    };
    const Row rows[] = {
        {949, "\xbc\xbc\xb9\xab 1\xb1\xde", "세무 1급"},
        {949, "\xbd\xc3\xc7\xe8 A", "시험 A"},
        {949, "\x8c\x63", "똠"},  // a syllable of the extension beyond KS X 1001
        {949, "\xa8\xe7", "①"},
        {949, "\xf9\xd3", "漢"},
        {949, "ABC\\", "ABC\\"},
        {437, "\xc9\xcd\xbb", "╔═╗"},
        {437, "\x82", "é"},
        {437, "\x80\x81", "Çü"},
        {1252, "\x80 \xe9", "€ é"},
        {65001, "UTF-8 \xea\xb0\x80", "UTF-8 가"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text + " in " + std::to_string(row.codePage));
        std::string out;
        EXPECT_TRUE(platform::CodePageToUtf8(row.codePage, row.bytes, out));
        EXPECT_EQ(out, row.text);
    }
    std::string latin;
    EXPECT_FALSE(platform::CodePageToUtf8(12345, "a\xe9", latin)) << "unknown code page";
    EXPECT_EQ(latin, "aé");
}

TEST_F(SystemContractTest, LocalTimeRoundTripsAndRefusesWhatTheRuntimeRefuses) {
    const int64_t now = platform::CurrentUnixTime();
    EXPECT_GT(now, 1700000000);
    for (const int64_t seconds : {now, int64_t{0} + 86400, int64_t{1700000000}}) {
        SCOPED_TRACE(seconds);
        platform::LocalTime local;
        ASSERT_TRUE(platform::UnixToLocalTime(seconds, local));
        EXPECT_EQ(platform::LocalTimeToUnix(local), seconds);
    }
    // The Windows runtime converts nothing before 1970 nor after the year 3000. (Its last
    // second is 32535244799, 3000-12-31 23:59:59 at UTC-8; the simulated machine stops at
    // 32535215999, the same moment in UTC, so the hours between are left out here.)
    platform::LocalTime local;
    EXPECT_FALSE(platform::UnixToLocalTime(-1, local));
    EXPECT_FALSE(platform::UnixToLocalTime(int64_t{40000000000}, local)) << "past year 3000";

    const platform::LocalTime current = platform::CurrentLocalTime();
    platform::LocalTime converted;
    ASSERT_TRUE(platform::UnixToLocalTime(platform::CurrentUnixTime(), converted));
    EXPECT_EQ(current.year, converted.year);
    EXPECT_EQ(current.month, converted.month);
    EXPECT_GE(current.year, 2023);
    EXPECT_GE(current.month, 1);
    EXPECT_LE(current.month, 12);
    EXPECT_GE(current.milliseconds, 0);
    EXPECT_LT(current.milliseconds, 1000);
}

TEST_F(SystemContractTest, SleepAndTickCount) {
    const uint32_t before = platform::TickCount();
    platform::SleepMilliseconds(200);
    const uint32_t elapsed = platform::TickCount() - before;
    // GetTickCount advances in steps of 10 to 16 ms on Windows: one step of slack below.
    EXPECT_GE(elapsed, 184u);
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
