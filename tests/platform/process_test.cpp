// Contract of what processes share: named mutexes, share modes and current folders,
// checked between this process and real second processes (platform_helper).
#include "platform/process.h"
#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "temp_machine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A running platform_helper: its standard input is the "keep holding" signal, its first
// output line the report of what it took. Ended by closing the input, or killed.
class Helper {
public:
    Helper(const std::string& machine, const std::vector<std::string>& args) {
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
        std::vector<std::string> all = {MIVO_PLATFORM_HELPER, machine};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, MIVO_PLATFORM_HELPER, &actions, nullptr, argv.data(), environ) !=
            0) {
            ADD_FAILURE() << "cannot start " << MIVO_PLATFORM_HELPER;
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

}  // namespace
