// Contract of what processes share: named mutexes, share modes and current folders,
// checked between this process and real second processes (platform_helper).
#include "platform/process.h"
#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/machine.h"
#include "platform/registry.h"
#include "temp_machine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A running platform_helper: its standard input is the "keep holding" signal, its first
// output line the report of what it took. Ended by closing the input, or killed.
class Helper {
public:
    Helper(const std::string& machine, const std::vector<std::string>& args,
           const std::string& program = MIVO_PLATFORM_HELPER) {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe failed";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        std::vector<std::string> all = {program, machine};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            ADD_FAILURE() << "cannot start " << program;
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        m_input = toChild[1];
        m_output = fdopen(fromChild[0], "r");
    }
    ~Helper() {
        if (m_pid > 0) {
            Kill();
        }
        if (m_input >= 0) {
            close(m_input);
        }
        if (m_output != nullptr) {
            fclose(m_output);
        }
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    /// The "ready ..." line without "ready " and the line break; empty when none came.
    std::string Report() {
        char line[4096];
        if (m_output == nullptr || fgets(line, sizeof line, m_output) == nullptr) {
            return "";
        }
        std::string text = line;
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text.rfind("ready ", 0) == 0 ? text.substr(6) : "bad report: " + text;
    }
    /// Lets the helper end normally and waits for it; its exit code.
    int Finish() {
        close(m_input);
        m_input = -1;
        return Wait();
    }
    /// Ends the helper with SIGKILL: nothing of its own runs on the way out.
    void Kill() {
        kill(m_pid, SIGKILL);
        Wait();
    }

private:
    int Wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t m_pid = -1;
    int m_input = -1;
    FILE* m_output = nullptr;
};

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

TEST_F(ProcessTest, MutexHeldByAnotherProcessExistsUntilItEnds) {
    for (const std::string name : {"Sorvane+α", "VemraExamMivo", "with/slash and space"}) {
        SCOPED_TRACE(name);
        Helper holder(Folder(), {"mutex", name});
        ASSERT_EQ(holder.Report(), "0") << "the helper created the mutex";
        EXPECT_EQ(Probe(name), platform::kErrorAlreadyExists);
        EXPECT_EQ(Probe(name), platform::kErrorAlreadyExists) << "probing does not take it over";
        EXPECT_EQ(holder.Finish(), 0);
        EXPECT_EQ(Probe(name), platform::kErrorSuccess) << "gone with its process";
    }
}

TEST_F(ProcessTest, MutexOfAKilledProcessIsGone) {
    Helper holder(Folder(), {"mutex", "Sorvane+α"});
    ASSERT_EQ(holder.Report(), "0");
    EXPECT_EQ(Probe("Sorvane+α"), platform::kErrorAlreadyExists);
    holder.Kill();
    EXPECT_EQ(Probe("Sorvane+α"), platform::kErrorSuccess);
}

TEST_F(ProcessTest, OtherProcessSeesOurMutex) {
    platform::MutexHandle ours = platform::CreateNamedMutex("VemraExamMivo");
    ASSERT_TRUE(ours.IsValid());
    ASSERT_EQ(platform::LastError(), platform::kErrorSuccess);
    Helper second(Folder(), {"mutex", "VemraExamMivo"});
    EXPECT_EQ(second.Report(), "183");
    EXPECT_EQ(second.Finish(), 0);
    EXPECT_EQ(Probe("VemraExamMivo"), platform::kErrorAlreadyExists)
        << "the second process's handle ending does not end our mutex";
}

TEST_F(ProcessTest, SecondHandleInTheSameProcess) {
    platform::MutexHandle first = platform::CreateNamedMutex("Twice");
    ASSERT_TRUE(first.IsValid());
    EXPECT_EQ(platform::LastError(), platform::kErrorSuccess);
    platform::MutexHandle second = platform::CreateNamedMutex("Twice");
    ASSERT_TRUE(second.IsValid());
    EXPECT_EQ(platform::LastError(), platform::kErrorAlreadyExists);

    first.Close();
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(Probe("Twice"), platform::kErrorAlreadyExists) << "the second handle keeps it";
    second.Close();
    EXPECT_EQ(Probe("Twice"), platform::kErrorSuccess) << "the last handle closed";
}

TEST_F(ProcessTest, MutexNamesAreCaseSensitiveAndIndependent) {
    platform::MutexHandle held = platform::CreateNamedMutex("VemraExamMivo");
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(Probe("vemraexammivo"), platform::kErrorSuccess);
    EXPECT_EQ(Probe("VemraExamMivo2"), platform::kErrorSuccess);
    EXPECT_EQ(Probe("VemraExamMivo"), platform::kErrorAlreadyExists);
}

TEST_F(ProcessTest, MovedMutexHandleKeepsTheMutex) {
    platform::MutexHandle first = platform::CreateNamedMutex("Moved");
    platform::MutexHandle second(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_TRUE(second.IsValid());
    first.Close();
    EXPECT_EQ(Probe("Moved"), platform::kErrorAlreadyExists);
    platform::MutexHandle third;
    third = std::move(second);
    EXPECT_EQ(Probe("Moved"), platform::kErrorAlreadyExists);
    third.Close();
    EXPECT_EQ(Probe("Moved"), platform::kErrorSuccess);
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

TEST_F(ProcessTest, ShareModesHoldAcrossProcesses) {
    m_machine.WriteHostFile(m_machine.Host("C:\\Shared\\db.bin"), "data");
    Helper reader(Folder(),
                  {"open", "C:\\shared\\DB.bin", std::to_string(platform::CrtFile::kDenyWrite)});
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
    EXPECT_EQ(reader.Finish(), 0);
    EXPECT_EQ(
        writer.Open("C:\\Shared\\db.bin", platform::CrtFile::kWrite, platform::CrtFile::kDenyNone),
        0)
        << "the share mode ended with its process";
}

TEST_F(ProcessTest, EachProcessHasItsOwnCurrentFolder) {
    std::filesystem::create_directories(m_machine.Host("C:\\Mine"));
    std::filesystem::create_directories(m_machine.Host("C:\\Theirs"));
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\Mine"));
    Helper other(Folder(), {"cwd", "C:\\Theirs"});
    EXPECT_EQ(other.Report(), "0 C:\\Theirs");
    std::string current;
    ASSERT_TRUE(platform::CurrentFolder(current));
    EXPECT_EQ(current, "C:\\Mine");
    EXPECT_EQ(other.Finish(), 0);
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

TEST_F(ProcessTest, WindowsAreSeenWhileTheirProcessLives) {
    {
        platform::WindowRegistration ours("DBMS Server");
        EXPECT_TRUE(platform::FindTopLevelWindow("DBMS Server"));
        EXPECT_FALSE(platform::FindTopLevelWindow("DBMS Server 2"));
    }
    EXPECT_FALSE(platform::FindTopLevelWindow("DBMS Server")) << "gone with its registration";

    Helper server(Folder(), {"window", "DBMS Server"});
    ASSERT_EQ(server.Report(), "0");
    EXPECT_TRUE(platform::FindTopLevelWindow("DBMS Server"));
    server.Kill();
    EXPECT_FALSE(platform::FindTopLevelWindow("DBMS Server")) << "gone with its process";
}

// An executable finds its machine by walking up from where it lies, and knows itself by
// its Windows path there.
TEST_F(ProcessTest, StartUpFindsTheMachineAroundTheExecutable) {
    const std::string copy = m_machine.Host("C:\\Pkg\\시험 설치\\Setup.exe");
    std::filesystem::create_directories(std::filesystem::path(copy).parent_path());
    std::filesystem::copy_file(MIVO_PLATFORM_HELPER, copy);
    Helper inside("--startup", {"module"}, copy);
    EXPECT_EQ(inside.Report(), "0 C:\\Pkg\\시험 설치\\Setup.exe|" + Folder());
    EXPECT_EQ(inside.Finish(), 0);

    // A machine.ini that cannot be read stops the start with the file and the line.
    m_machine.WriteHostFile(Folder() + "/machine.ini",
                            "[drives]\nC = fixed, drive_c\n[nonsense]\n");
    Helper broken("--startup", {"module"}, copy);
    const std::string report = broken.Report();
    EXPECT_EQ(report.rfind("1 ", 0), 0u) << report;
    EXPECT_NE(report.find("machine.ini"), std::string::npos) << report;
    EXPECT_NE(report.find('3'), std::string::npos) << report;
    EXPECT_EQ(broken.Finish(), 1);
}

TEST_F(ProcessTest, StartUpOutsideAnyMachineSaysHowToMakeOne) {
    // The build folder lies in no machine.
    Helper outside("--startup", {"module"});
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
    std::vector<std::unique_ptr<Helper>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(std::make_unique<Helper>(
            Folder(), std::vector<std::string>{"regwrite", "W" + std::to_string(w),
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
