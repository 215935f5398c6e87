// What processes share, on both platforms (the Windows run compiles this file as it is):
// named mutexes, window titles, share modes and current folders, within this process and
// between it and a second one (second_process.h: platform_helper on the simulated machine,
// windows_helper.exe on Windows). Programs started through the platform are each platform's
// own (process_test.cpp here, tests/windows/process_test.cpp).
#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/process.h"
#include "second_process.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using platformtest::SecondProcess;

class ProcessContractTest : public testsupport::MachineTest {};

// Creates and at once closes a mutex: the probe the installer makes. 183 or 0.
uint32_t Probe(const std::string& name) {
    platform::MutexHandle handle = platform::CreateNamedMutex(name);
    EXPECT_TRUE(handle.IsValid());
    return platform::LastError();
}

TEST_F(ProcessContractTest, SecondHandleInTheSameProcess) {
    platform::MutexHandle first = platform::CreateNamedMutex("MivoContract-Twice");
    ASSERT_TRUE(first.IsValid());
    EXPECT_EQ(platform::LastError(), platform::kErrorSuccess);
    platform::MutexHandle second = platform::CreateNamedMutex("MivoContract-Twice");
    ASSERT_TRUE(second.IsValid());
    EXPECT_EQ(platform::LastError(), platform::kErrorAlreadyExists);

    first.Close();
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(Probe("MivoContract-Twice"), platform::kErrorAlreadyExists)
        << "the second handle keeps it";
    second.Close();
    EXPECT_EQ(Probe("MivoContract-Twice"), platform::kErrorSuccess) << "the last handle closed";
}

TEST_F(ProcessContractTest, MovedMutexHandleKeepsTheMutex) {
    platform::MutexHandle first = platform::CreateNamedMutex("MivoContract-Moved");
    platform::MutexHandle second(std::move(first));
    EXPECT_FALSE(first.IsValid());  // NOLINT(bugprone-use-after-move): the contract
    EXPECT_TRUE(second.IsValid());
    first.Close();
    EXPECT_EQ(Probe("MivoContract-Moved"), platform::kErrorAlreadyExists);
    platform::MutexHandle third;
    third = std::move(second);
    EXPECT_FALSE(second.IsValid());  // NOLINT(bugprone-use-after-move): the contract
    EXPECT_EQ(Probe("MivoContract-Moved"), platform::kErrorAlreadyExists);

    // Another handle of the same mutex closing leaves the moved one holding it.
    platform::MutexHandle other = platform::CreateNamedMutex("MivoContract-Moved");
    EXPECT_EQ(platform::LastError(), platform::kErrorAlreadyExists);
    other.Close();
    EXPECT_EQ(Probe("MivoContract-Moved"), platform::kErrorAlreadyExists);
    third.Close();
    EXPECT_EQ(Probe("MivoContract-Moved"), platform::kErrorSuccess);
}

TEST_F(ProcessContractTest, MutexNamesAreCaseSensitiveAndIndependent) {
    platform::MutexHandle held = platform::CreateNamedMutex("VemraExamMivo");
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(Probe("vemraexammivo"), platform::kErrorSuccess);
    EXPECT_EQ(Probe("VemraExamMivo2"), platform::kErrorSuccess);
    EXPECT_EQ(Probe("VemraExamMivo"), platform::kErrorAlreadyExists);

    platform::MutexHandle greek = platform::CreateNamedMutex("Sorvane+α-test");
    ASSERT_TRUE(greek.IsValid());
    EXPECT_EQ(platform::LastError(), platform::kErrorSuccess);
    EXPECT_EQ(Probe("SORVANE+Α-TEST"), platform::kErrorSuccess);
    EXPECT_EQ(Probe("Sorvane+α-test"), platform::kErrorAlreadyExists);
}

TEST_F(ProcessContractTest, OwnWindowIsSeenWhileRegistered) {
    EXPECT_FALSE(platform::FindTopLevelWindow("Mivo Own Window"));
    {
        platform::WindowRegistration ours("Mivo Own Window");
        EXPECT_TRUE(platform::FindTopLevelWindow("Mivo Own Window"));
        EXPECT_FALSE(platform::FindTopLevelWindow("Mivo Own Window 2"));
        EXPECT_FALSE(platform::FindTopLevelWindow("Mivo Own")) << "the whole title must match";
    }
    EXPECT_FALSE(platform::FindTopLevelWindow("Mivo Own Window")) << "gone with its registration";
}

TEST_F(ProcessContractTest, MutexHeldByAnotherProcessExistsUntilItEnds) {
    for (const std::string name : {"Sorvane+α", "VemraExamMivo", "with/slash and space"}) {
        SCOPED_TRACE(name);
        SecondProcess holder(m_machine, {"mutex", name});
        ASSERT_EQ(holder.Report(), "0") << "the helper created the mutex";
        EXPECT_EQ(Probe(name), platform::kErrorAlreadyExists);
        EXPECT_EQ(Probe(name), platform::kErrorAlreadyExists) << "probing does not take it over";
        EXPECT_EQ(holder.Finish(), 0);
        EXPECT_EQ(Probe(name), platform::kErrorSuccess) << "gone with its process";
    }
}

TEST_F(ProcessContractTest, MutexOfAKilledProcessIsGone) {
    SecondProcess holder(m_machine, {"mutex", "Sorvane+α"});
    ASSERT_EQ(holder.Report(), "0");
    EXPECT_EQ(Probe("Sorvane+α"), platform::kErrorAlreadyExists);
    holder.Kill();
    EXPECT_EQ(Probe("Sorvane+α"), platform::kErrorSuccess);
}

TEST_F(ProcessContractTest, OtherProcessSeesOurMutex) {
    platform::MutexHandle ours = platform::CreateNamedMutex("VemraExamMivo");
    ASSERT_TRUE(ours.IsValid());
    ASSERT_EQ(platform::LastError(), platform::kErrorSuccess);
    SecondProcess second(m_machine, {"mutex", "VemraExamMivo"});
    EXPECT_EQ(second.Report(), "183");
    EXPECT_EQ(second.Finish(), 0);
    EXPECT_EQ(Probe("VemraExamMivo"), platform::kErrorAlreadyExists)
        << "the second process's handle ending does not end our mutex";
}

TEST_F(ProcessContractTest, WindowsAreSeenWhileTheirProcessLives) {
    EXPECT_FALSE(platform::FindTopLevelWindow("DBMS Server"));
    SecondProcess server(m_machine, {"window", "DBMS Server"});
    ASSERT_EQ(server.Report(), "0");
    EXPECT_TRUE(platform::FindTopLevelWindow("DBMS Server"));
    EXPECT_FALSE(platform::FindTopLevelWindow("DBMS")) << "the whole title must match";
    server.Kill();
    EXPECT_FALSE(platform::FindTopLevelWindow("DBMS Server")) << "gone with its process";
}

TEST_F(ProcessContractTest, ShareModesHoldAcrossProcesses) {
    m_machine.WriteHostFile(m_machine.Host("C:\\Shared\\db.bin"), "data");
    SecondProcess reader(
        m_machine, {"open", "C:\\shared\\DB.bin", std::to_string(platform::CrtFile::kDenyWrite)});
    ASSERT_EQ(reader.Report(), "0");
    platform::CrtFile writer;
    EXPECT_EQ(
        writer.Open("C:\\Shared\\db.bin", platform::CrtFile::kWrite, platform::CrtFile::kDenyNone),
        platform::kErrnoAccess);
    platform::CrtFile secondReader;
    EXPECT_EQ(secondReader.Open("C:\\Shared\\db.bin", platform::CrtFile::kRead,
                                platform::CrtFile::kDenyNone),
              0);
    secondReader.Close();
    EXPECT_FALSE(platform::RemoveFile("C:\\Shared\\db.bin"));
    EXPECT_EQ(platform::LastError(), platform::kErrorSharingViolation);
    EXPECT_EQ(reader.Finish(), 0);
    EXPECT_EQ(
        writer.Open("C:\\Shared\\db.bin", platform::CrtFile::kWrite, platform::CrtFile::kDenyNone),
        0)
        << "the share mode ended with its process";
}

TEST_F(ProcessContractTest, EachProcessHasItsOwnCurrentFolder) {
    testsupport::TempMachine::MakeHostFolder(m_machine.Host("C:\\Mine"));
    testsupport::TempMachine::MakeHostFolder(m_machine.Host("C:\\Theirs"));
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\Mine"));
    SecondProcess other(m_machine, {"cwd", "C:\\Theirs"});
    EXPECT_EQ(other.Report(), "0 C:\\Theirs");
    std::string current;
    ASSERT_TRUE(platform::CurrentFolder(current));
    EXPECT_EQ(current, "C:\\Mine");
    EXPECT_EQ(other.Finish(), 0);
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\"));
}

}  // namespace
