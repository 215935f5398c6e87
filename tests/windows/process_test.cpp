// Programs started through the platform on Windows itself: windows_helper.exe (beside this
// test) writes down the folder it runs in and its words. Mutexes, windows, share modes and
// current folders between processes are in tests/platform/process_contract_test.cpp.
#include "platform/process.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::LastError;

std::string Helper() {
    const std::string module = platform::ModulePath();
    return module.substr(0, module.find_last_of('\\') + 1) + "windows_helper.exe";
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Waits until `predicate` holds, at most `milliseconds`.
template <typename Predicate>
bool WaitFor(Predicate predicate, uint32_t milliseconds) {
    const uint32_t start = platform::TickCount();
    while (!predicate()) {
        if (platform::TickCount() - start > milliseconds) {
            return false;
        }
        platform::SleepMilliseconds(20);
    }
    return true;
}

class WindowsProcessTest : public testsupport::MachineTest {
protected:
    void SetUp() override { ASSERT_TRUE(platform::MakeFolder("C:\\Proc")); }
    static std::string Contents(const std::string& path) {
        return testsupport::TempMachine::ReadHostFile(path);
    }
};

TEST_F(WindowsProcessTest, StartProcessRunsInTheWorkingFolderWithTheCommandLine) {
    ASSERT_TRUE(platform::MakeFolder("C:\\Proc\\Work"));
    ASSERT_TRUE(platform::StartProcess(Helper(),
                                       Quoted(Helper()) + " where C:\\Proc\\where.txt one two",
                                       "C:\\Proc\\Work", platform::kShowNormal, 0, 0))
        << "LastError " << LastError();
    ASSERT_TRUE(WaitFor([] { return platform::FileExists("C:\\Proc\\where.txt"); }, 15000));
    WaitFor([] { return !Contents("C:\\Proc\\where.txt").empty(); }, 5000);
    const std::string report = Contents("C:\\Proc\\where.txt");
    EXPECT_TRUE(platform::SameNameNoCase(report.substr(0, report.find('|')), "C:\\Proc\\Work"))
        << report;
    EXPECT_EQ(report.substr(report.find('|')), "|one|two");
}

TEST_F(WindowsProcessTest, StartProcessFailures) {
    EXPECT_FALSE(
        platform::StartProcess("C:\\Proc\\missing.exe", "", "", platform::kShowNormal, 0, 0));
    EXPECT_EQ(LastError(), platform::kErrorFileNotFound);
    m_machine.WriteHostFile("C:\\Proc\\text.exe", "this is no program\r\n");
    EXPECT_FALSE(platform::StartProcess("C:\\Proc\\text.exe", "", "", platform::kShowNormal, 0, 0));
    EXPECT_EQ(LastError(), platform::kErrorBadExeFormat);
}

TEST_F(WindowsProcessTest, ExecuteCommandRunsInTheCurrentFolder) {
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\Proc"));
    const unsigned result = platform::ExecuteCommand(
        Quoted(Helper()) + " where C:\\Proc\\exec.txt w", platform::kShowNormal);
    EXPECT_GT(result, 31u);
    ASSERT_TRUE(WaitFor([] { return !Contents("C:\\Proc\\exec.txt").empty(); }, 15000));
    EXPECT_TRUE(platform::SameNameNoCase(Contents("C:\\Proc\\exec.txt"), "C:\\Proc|w"))
        << Contents("C:\\Proc\\exec.txt");

    const unsigned missing =
        platform::ExecuteCommand("C:\\Proc\\missing.exe", platform::kShowNormal);
    EXPECT_TRUE(missing == 2 || missing == 3) << missing;
    platform::ChangeCurrentFolder("C:\\");
}

TEST(WindowsModuleTest, ModulePathIsTheRunningExecutable) {
    const std::string module = platform::ModulePath();
    ASSERT_GE(module.size(), 4u);
    EXPECT_EQ(module[1], ':') << module;
    const std::string name = module.substr(module.find_last_of('\\') + 1);
    EXPECT_TRUE(platform::SameNameNoCase(name, "platform_contract_test.exe")) << module;
    EXPECT_TRUE(platform::FileExists(module));
}

}  // namespace
