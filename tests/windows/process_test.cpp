// Mutexes, windows, started programs and share modes between processes on Windows, met
// through a second process (windows_helper.exe beside this test) that the platform starts.
#include "platform/process.h"
#include "platform/crt_errno.h"
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
    // Starts the helper with the words and waits for its ready file.
    void StartHelper(const std::string& words, const std::string& ready) {
        ASSERT_TRUE(platform::StartProcess(Helper(), Quoted(Helper()) + " " + words, "C:\\",
                                           platform::kShowNormal, 0, 0))
            << "LastError " << LastError();
        ASSERT_TRUE(WaitFor([&] { return platform::FileExists(ready); }, 15000))
            << "the helper did not get ready";
    }
    static std::string Contents(const std::string& path) {
        return testsupport::TempMachine::ReadHostFile(path);
    }
};

TEST_F(WindowsProcessTest, MutexCreatedThenFoundInTheSameProcess) {
    platform::MutexHandle first = platform::CreateNamedMutex("MivoTest-Same");
    ASSERT_TRUE(first.IsValid());
    EXPECT_EQ(LastError(), platform::kErrorSuccess);
    platform::MutexHandle second = platform::CreateNamedMutex("MivoTest-Same");
    ASSERT_TRUE(second.IsValid());
    EXPECT_EQ(LastError(), platform::kErrorAlreadyExists);

    platform::MutexHandle moved = std::move(first);
    EXPECT_FALSE(first.IsValid());  // NOLINT(bugprone-use-after-move): the contract
    second.Close();
    platform::MutexHandle third = platform::CreateNamedMutex("MivoTest-Same");
    EXPECT_EQ(LastError(), platform::kErrorAlreadyExists) << "the moved handle keeps it";
    moved.Close();
    third.Close();
    platform::MutexHandle fresh = platform::CreateNamedMutex("MivoTest-Same");
    EXPECT_EQ(LastError(), platform::kErrorSuccess) << "closing every handle removes it";
}

TEST_F(WindowsProcessTest, MutexNamesAreCaseSensitiveAndIndependent) {
    platform::MutexHandle one = platform::CreateNamedMutex("Sorvane+α-test");
    ASSERT_TRUE(one.IsValid());
    platform::MutexHandle other = platform::CreateNamedMutex("SORVANE+Α-TEST");
    ASSERT_TRUE(other.IsValid());
    EXPECT_EQ(LastError(), platform::kErrorSuccess);
}

TEST_F(WindowsProcessTest, MutexHeldByAnotherProcessExistsUntilItEnds) {
    StartHelper("mutex MivoTest-Held C:\\Proc\\ready.txt 1500", "C:\\Proc\\ready.txt");
    {
        platform::MutexHandle seen = platform::CreateNamedMutex("MivoTest-Held");
        ASSERT_TRUE(seen.IsValid());
        EXPECT_EQ(LastError(), platform::kErrorAlreadyExists);
    }
    EXPECT_TRUE(WaitFor(
        [] {
            platform::MutexHandle probe = platform::CreateNamedMutex("MivoTest-Held");
            return probe.IsValid() && LastError() == platform::kErrorSuccess;
        },
        15000))
        << "the mutex outlived its process";
}

TEST_F(WindowsProcessTest, WindowsAreSeenWhileTheirProcessLives) {
    EXPECT_FALSE(platform::FindTopLevelWindow("Mivo Test Server"));
    StartHelper("window \"Mivo Test Server\" C:\\Proc\\window.txt 1500", "C:\\Proc\\window.txt");
    EXPECT_TRUE(platform::FindTopLevelWindow("Mivo Test Server"));
    EXPECT_FALSE(platform::FindTopLevelWindow("Mivo Test")) << "the whole title must match";
    EXPECT_TRUE(WaitFor([] { return !platform::FindTopLevelWindow("Mivo Test Server"); }, 15000));

    {
        platform::WindowRegistration own("Mivo Own Window");
        EXPECT_TRUE(platform::FindTopLevelWindow("Mivo Own Window"));
    }
    EXPECT_FALSE(platform::FindTopLevelWindow("Mivo Own Window"));
}

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

TEST_F(WindowsProcessTest, ShareModesHoldAcrossProcesses) {
    m_machine.WriteHostFile("C:\\Proc\\shared.bin", "shared");
    StartHelper("open C:\\Proc\\shared.bin " + std::to_string(platform::CrtFile::kDenyWrite) +
                    " C:\\Proc\\open.txt 1500",
                "C:\\Proc\\open.txt");
    WaitFor([] { return !Contents("C:\\Proc\\open.txt").empty(); }, 5000);
    ASSERT_EQ(Contents("C:\\Proc\\open.txt"), "ready");
    platform::CrtFile file;
    EXPECT_EQ(
        file.Open("C:\\Proc\\shared.bin", platform::CrtFile::kWrite, platform::CrtFile::kDenyNone),
        platform::kErrnoAccess);
    EXPECT_EQ(
        file.Open("C:\\Proc\\shared.bin", platform::CrtFile::kRead, platform::CrtFile::kDenyNone),
        0);
    file.Close();
    EXPECT_FALSE(platform::RemoveFile("C:\\Proc\\shared.bin"));
    EXPECT_EQ(LastError(), platform::kErrorSharingViolation);
    EXPECT_TRUE(WaitFor(
        [] {
            platform::CrtFile again;
            return again.Open("C:\\Proc\\shared.bin", platform::CrtFile::kWrite,
                              platform::CrtFile::kDenyNone) == 0;
        },
        15000))
        << "the share mode outlived its process";
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
