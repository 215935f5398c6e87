// Processes on the simulated machine: programs started through the machine's [programs]
// table (and what they inherit), how an executable finds its machine, and registry writers
// in several processes. What Windows answers alike (mutexes, windows, share modes and
// current folders between processes) is in process_contract_test.cpp.
#include "platform/process.h"
#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/machine.h"
#include "platform/registry.h"
#include "second_process.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {

using platformtest::SecondProcess;

class ProcessTest : public testsupport::MachineTest {
protected:
    std::string Folder() const { return m_machine.Folder(); }

    // Gives the machine the program C:\Tools\report.exe, played by a shell script that
    // writes its working folder, MIVO_MACHINE and its arguments to report.txt in the
    // machine folder (renamed into place, so a reader never sees half of it).
    void UseReportProgram() {
        const std::string script = Folder() + "/report.sh";
        m_machine.WriteHostFile(
            script,
            "#!/bin/sh\n"
            "{ pwd; echo \"$MIVO_MACHINE\"; for a in \"$@\"; do echo \"arg:$a\"; "
            "done; } > \"$MIVO_MACHINE/report.tmp\"\n"
            "mv \"$MIVO_MACHINE/report.tmp\" \"$MIVO_MACHINE/report.txt\"\n"
            "sleep 2\n");
        ASSERT_EQ(chmod(script.c_str(), 0755), 0);
        m_machine.WriteHostFile(m_machine.Host("C:\\Tools\\report.exe"), "MZ");
        m_machine.WriteHostFile(m_machine.Host("C:\\Tools\\other.exe"), "MZ");
        m_machine.WriteHostFile(Folder() + "/machine.ini",
                                "[drives]\nC = fixed, drive_c\n[programs]\n"
                                "C:\\Tools\\report.exe = " +
                                    script + "\n");
        std::string problem;
        ASSERT_TRUE(platform::posix::UseMachine(Folder(), problem)) << problem;
        // The process's current folder may still lie on the machine of an earlier test
        // (all tests of one run share the process); programs start there by default.
        ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\"));
    }
    // The report of the program, once it has written one (at most five seconds).
    std::string WaitForReport() {
        const std::string path = Folder() + "/report.txt";
        for (int i = 0; i < 500; ++i) {
            const std::string text = testsupport::TempMachine::ReadHostFile(path);
            if (!text.empty()) {
                return text;
            }
            usleep(10000);
        }
        return "";
    }
    std::string RealHost(const std::string& windowsPath) const {
        return std::filesystem::canonical(m_machine.Host(windowsPath)).string();
    }
};

// Creates and at once closes a mutex: the probe the installer makes. 183 or 0.
uint32_t Probe(const std::string& name) {
    platform::MutexHandle handle = platform::CreateNamedMutex(name);
    EXPECT_TRUE(handle.IsValid());
    return platform::LastError();
}

// A process started while we hold a mutex must not hold it after we let it go: Windows
// starts programs without our handles, so a running main program started by the installer
// never keeps the installer's instance marker alive.
TEST_F(ProcessTest, StartedProcessesDoNotInheritMutexes) {
    platform::MutexHandle held = platform::CreateNamedMutex("NotInherited");
    ASSERT_TRUE(held.IsValid());
    pid_t pid = -1;
    char sleepPath[] = "/bin/sleep";
    char seconds[] = "30";
    char* argv[] = {sleepPath, seconds, nullptr};
    ASSERT_EQ(posix_spawn(&pid, "/bin/sleep", nullptr, nullptr, argv, environ), 0);
    held.Close();
    const uint32_t seen = Probe("NotInherited");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(seen, platform::kErrorSuccess);
}

// Programs run through the machine's [programs] table, with MIVO_MACHINE, the working
// folder asked for and the words of the command line after the program's own name.
TEST_F(ProcessTest, StartProcessRunsTheMachinesProgram) {
    UseReportProgram();
    std::filesystem::create_directories(m_machine.Host("C:\\Work"));
    ASSERT_TRUE(platform::StartProcess("c:\\tools\\REPORT.exe",
                                       "\"C:\\Tools\\report.exe\" first \"two words\"", "C:\\work",
                                       platform::kShowNormal, 0, 0))
        << "LastError " << platform::LastError();
    EXPECT_EQ(platform::LastError(), platform::kErrorSuccess);
    EXPECT_EQ(WaitForReport(),
              RealHost("C:\\Work") + "\n" + Folder() + "\narg:first\narg:two words\n");
}

TEST_F(ProcessTest, StartProcessFailures) {
    UseReportProgram();
    struct Row {
        const char* application;
        const char* folder;
        uint32_t error;
    };
    const Row rows[] = {
        {"C:\\Tools\\missing.exe", "", platform::kErrorFileNotFound},
        {"C:\\Nowhere\\missing.exe", "", platform::kErrorPathNotFound},
        {"C:\\Tools\\other.exe", "", platform::kErrorBadExeFormat},
        {"C:\\Tools\\report.exe", "C:\\NoSuchFolder", platform::kErrorDirectory},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.application);
        EXPECT_FALSE(
            platform::StartProcess(row.application, "", row.folder, platform::kShowNormal, 0, 0));
        EXPECT_EQ(platform::LastError(), row.error);
    }
    usleep(200000);
    EXPECT_EQ(testsupport::TempMachine::ReadHostFile(Folder() + "/report.txt"), "")
        << "nothing ran";
}

// WinExec's program starts in the caller's current folder, as every child on Windows does
// when no folder is named.
TEST_F(ProcessTest, ExecuteCommandRunsInTheCurrentFolder) {
    UseReportProgram();
    std::filesystem::create_directories(m_machine.Host("C:\\Here"));
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\Here"));
    EXPECT_GT(platform::ExecuteCommand("\"C:\\Tools\\report.exe\" /x", platform::kShowNormal), 31u);
    EXPECT_EQ(WaitForReport(), RealHost("C:\\Here") + "\n" + Folder() + "\narg:/x\n");

    EXPECT_EQ(platform::ExecuteCommand("C:\\Tools\\missing.exe", platform::kShowNormal), 2u);
    EXPECT_EQ(platform::ExecuteCommand("C:\\Nowhere\\missing.exe", platform::kShowNormal), 3u);
    EXPECT_EQ(platform::ExecuteCommand("C:\\Tools\\other.exe", platform::kShowNormal), 11u);
}

// The installer starts the main program while it holds its own instance marker; the
// started program must not keep that marker alive.
TEST_F(ProcessTest, ProgramsStartedByThePlatformDoNotHoldOurMutexes) {
    UseReportProgram();
    platform::MutexHandle held = platform::CreateNamedMutex("VemraExamMivo");
    ASSERT_TRUE(held.IsValid());
    ASSERT_TRUE(
        platform::StartProcess("C:\\Tools\\report.exe", "", "", platform::kShowNormal, 0, 0));
    ASSERT_NE(WaitForReport(), "");  // the program runs (it sleeps two seconds more)
    held.Close();
    EXPECT_EQ(Probe("VemraExamMivo"), platform::kErrorSuccess);
}

// An executable finds its machine by walking up from where it lies, and knows itself by
// its Windows path there.
TEST_F(ProcessTest, StartUpFindsTheMachineAroundTheExecutable) {
    const std::string copy = m_machine.Host("C:\\Pkg\\시험 설치\\Setup.exe");
    std::filesystem::create_directories(std::filesystem::path(copy).parent_path());
    std::filesystem::copy_file(MIVO_PLATFORM_HELPER, copy);
    SecondProcess inside("--startup", {"module"}, copy);
    EXPECT_EQ(inside.Report(), "0 C:\\Pkg\\시험 설치\\Setup.exe|" + Folder());
    EXPECT_EQ(inside.Finish(), 0);

    // A machine.ini that cannot be read stops the start with the file and the line.
    m_machine.WriteHostFile(Folder() + "/machine.ini",
                            "[drives]\nC = fixed, drive_c\n[nonsense]\n");
    SecondProcess broken("--startup", {"module"}, copy);
    const std::string report = broken.Report();
    EXPECT_EQ(report.rfind("1 ", 0), 0u) << report;
    EXPECT_NE(report.find("machine.ini"), std::string::npos) << report;
    EXPECT_NE(report.find('3'), std::string::npos) << report;
    EXPECT_EQ(broken.Finish(), 1);
}

TEST_F(ProcessTest, StartUpOutsideAnyMachineSaysHowToMakeOne) {
    // The build folder lies in no machine.
    SecondProcess outside("--startup", {"module"}, MIVO_PLATFORM_HELPER);
    const std::string report = outside.Report();
    EXPECT_EQ(report.rfind("1 ", 0), 0u) << report;
    EXPECT_NE(report.find("machine.ini"), std::string::npos) << report;
    EXPECT_EQ(outside.Finish(), 1);
}

// Several processes writing the registry at once: each write reads, changes and replaces
// the whole registry.reg, so without the lock writes of one process would undo another's.
TEST_F(ProcessTest, ConcurrentRegistryWritersLoseNothing) {
    constexpr int kWriters = 4;
    constexpr int kValues = 40;
    std::vector<std::unique_ptr<SecondProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(std::make_unique<SecondProcess>(
            m_machine, std::vector<std::string>{"regwrite", "W" + std::to_string(w),
                                                std::to_string(kValues)}));
    }
    for (auto& writer : writers) {
        EXPECT_EQ(writer->Report(), "0");
        EXPECT_EQ(writer->Finish(), 0);
    }
    for (int w = 0; w < kWriters; ++w) {
        platform::RegistryHandle key = nullptr;
        ASSERT_EQ(platform::OpenRegistryKey(platform::LocalMachineRoot(),
                                            "SOFTWARE\\Race\\W" + std::to_string(w), 0,
                                            platform::kKeyQueryValue, &key),
                  0);
        int missing = 0;
        for (int i = 0; i < kValues; ++i) {
            uint8_t value[4] = {0xFF, 0xFF, 0xFF, 0xFF};
            uint32_t size = 4;
            if (platform::QueryRegistryValue(key, "v" + std::to_string(i), nullptr, value, &size) !=
                    0 ||
                value[0] != i) {
                ++missing;
            }
        }
        platform::CloseRegistryKey(key);
        EXPECT_EQ(missing, 0) << "writer " << w;
    }
}

}  // namespace
