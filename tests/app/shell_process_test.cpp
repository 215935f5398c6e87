// The installer as real processes on a built machine: the instance guard between two
// copies, the main-program guard against the stand-in, the refusals of the main flow, and
// bad machine files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "built_machine.h"

namespace fs = std::filesystem;

namespace {

using apptest::BuiltMachine;
using machine::MachineRecipe;

constexpr const char* kSecondCopy = "Mivo 베므라 문제설치 프로그램이 이미 실행되어 있습니다. ";
constexpr const char* kMainProgramRunning =
    "Vemra 메인프로그램이 실행되어 있습니다.\\r\\n메인 프로그램 종료후 다시 설치하여 주십시요.";
constexpr const char* kComponentsOld = "Vemra 프로그램 실행시 필요한 중요파일의 버전이 낮습니다.";
constexpr const char* kPleaseInstall = "Vemra 프로그램을 설치해주세요.";

// A child process running a command line; waited for by Wait or the destructor.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args,
          const std::string& machineFolder) {
        m_pid = fork();
        if (m_pid == 0) {
            setenv("MIVO_MACHINE", machineFolder.c_str(), 1);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const std::string& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            freopen("/dev/null", "r", stdin);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    ~Child() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Running() {
        if (m_pid <= 0) {
            return false;
        }
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_status = status;
            m_pid = -1;
            return false;
        }
        return true;
    }
    /// Waits for the end; the exit code, or -1 when it did not end normally.
    int Wait() {
        if (m_pid > 0) {
            waitpid(m_pid, &m_status, 0);
            m_pid = -1;
        }
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_status = 0;
};

// Polls `condition` for up to ten seconds.
template <typename F>
bool Eventually(F condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) {
        ++n;
    }
    return n;
}

MachineRecipe WithScript(std::vector<std::string> lines) {
    MachineRecipe recipe;
    recipe.script = std::move(lines);
    return recipe;
}

TEST(InstanceGuard, SecondCopyIsRefusedWhileTheFirstWaitsAtABox) {
    // The first copy stops at the "please install" box until the test lets it go.
    MachineRecipe recipe = WithScript({"ok wait-for release", "ok", "ok"});
    recipe.omitComponents = {"VemraExam.exe"};
    BuiltMachine m(recipe);
    const std::string installer = machine::InstallerHostPath(m.Recipe());
    Child first(installer, {}, m.Folder());
    ASSERT_TRUE(Eventually([&] { return m.Read("run/script.pos") == "1\n"; }));

    Child second(installer, {}, m.Folder());
    EXPECT_EQ(second.Wait(), 0);
    std::string screen = m.Read("run/screen.log");
    EXPECT_NE(screen.find(std::string("text=\"") + kSecondCopy + "\" answer=IDOK"),
              std::string::npos)
        << screen;
    EXPECT_TRUE(first.Running());

    std::ofstream(m.Folder() + "/release").close();
    EXPECT_EQ(first.Wait(), 0);
    screen = m.Read("run/screen.log");
    EXPECT_EQ(Count(screen, kPleaseInstall), 1u) << screen;

    // The marker went with the first copy: a new copy starts normally.
    EXPECT_EQ(m.RunInstaller(), 0);
    screen = m.Read("run/screen.log");
    EXPECT_EQ(Count(screen, kPleaseInstall), 2u) << screen;
    EXPECT_EQ(Count(screen, kSecondCopy), 1u) << screen;
}

TEST(MainProgramGuard, RunningMainProgramStopsTheStartBeforeTheComponentCheck) {
    // The component check would fail too: it must not get to run.
    MachineRecipe recipe = WithScript({"ok", "ok"});
    recipe.dbServerVersion = pe::PeVersion{3, 8, 4, 0};
    BuiltMachine m(recipe);
    {
        Child standin(apptest::StandinProgram(), {"main-program", "--lifetime", "60"}, m.Folder());
        ASSERT_TRUE(Eventually([&] { return !m.Read("run/started.log").empty(); }));
        EXPECT_EQ(m.RunInstaller(), 0);
        const std::string screen = m.Read("run/screen.log");
        EXPECT_NE(screen.find(kMainProgramRunning), std::string::npos) << screen;
        EXPECT_EQ(screen.find(kComponentsOld), std::string::npos) << screen;
        std::ofstream(m.Folder() + "/run/stop-main-program").close();
        EXPECT_EQ(standin.Wait(), 0);
    }
    // Once the main program has ended, the start gets past the guard.
    EXPECT_EQ(m.RunInstaller(), 0);
    const std::string screen = m.Read("run/screen.log");
    EXPECT_EQ(Count(screen, kMainProgramRunning), 1u) << screen;
    EXPECT_EQ(Count(screen, kComponentsOld), 1u) << screen;
}

TEST(MainFlow, EachRefusalShowsItsMessageAndEndsWithZero) {
    struct Case {
        const char* what;
        MachineRecipe recipe;
        const char* message;
        const char* flags;
    };
    std::vector<Case> cases;
    {
        MachineRecipe s;
        s.omitComponents = {"VemraExam.exe"};
        cases.push_back({"main executable missing", s, kPleaseInstall, "flags=0x40"});
    }
    {
        MachineRecipe s;
        s.displayVersion = "1.0";
        cases.push_back({"version 1.0", s, "최신버전의 프로그램을 설치한후에 다시 실행해주세요.",
                         "flags=0x40"});
    }
    {
        MachineRecipe s;
        s.packingDate = machine::PackingDateBytes(20250813);
        cases.push_back({"old packing date", s,
                         "Vemra 프로그램이 최신버전이 아닙니다.\\n최신버전의 프로그램을 "
                         "재설치한후에 다시 실행해주세요.\\n\\n\"",
                         "flags=0x30"});
    }
    {
        MachineRecipe s;
        s.mainProgram = false;
        cases.push_back({"no main program at all", s, kComponentsOld, "flags=0x00"});
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.recipe.script = std::vector<std::string>{"ok"};
        BuiltMachine m(c.recipe);
        EXPECT_EQ(m.RunInstaller(), 0);
        const std::string screen = m.Read("run/screen.log");
        EXPECT_EQ(Count(screen, "messagebox "), 1u) << screen;
        EXPECT_NE(screen.find(c.message), std::string::npos) << screen;
        EXPECT_NE(screen.find(c.flags), std::string::npos) << screen;
        EXPECT_NE(screen.find("caption=\"mivo\""), std::string::npos) << screen;
    }
}

TEST(MainFlow, SoundMachinePassesEveryTestOfTheMainProgram) {
    // No package in the package folder: past the three tests the flow tells of the missing
    // package, opens the confirmation dialog, and the examinee leaves.
    BuiltMachine m(WithScript({"ok", "press cancel"}));
    EXPECT_EQ(m.RunInstaller(), 0);
    const std::string screen = m.Read("run/screen.log");
    EXPECT_EQ(Count(screen, "messagebox "), 1u) << screen;
    EXPECT_NE(screen.find("지정된 경로를 찾을 수 없습니다."), std::string::npos) << screen;
    EXPECT_NE(screen.find("result=IDCANCEL"), std::string::npos) << screen;
}

TEST(MainFlow, ExhaustedScriptEndsTheRunWithAClearMessage) {
    MachineRecipe recipe = WithScript({});
    recipe.displayVersion = "0.9";
    BuiltMachine m(recipe);
    EXPECT_EQ(m.RunInstaller(), 3);
    EXPECT_NE(m.Read("run/screen.log").find("answer=none (the user script has no answer left)"),
              std::string::npos);
}

TEST(MainFlow, ANewRunStartsTheScriptFromItsFirstLine) {
    MachineRecipe recipe = WithScript({"ok"});
    recipe.displayVersion = "0.9";  // one box, then the run ends
    BuiltMachine m(recipe);
    EXPECT_EQ(m.RunInstaller(), 0);
    EXPECT_EQ(m.RunInstaller(), 0) << m.Read("run/screen.log");
    EXPECT_EQ(Count(m.Read("run/screen.log"), "answer=IDOK"), 2u) << m.Read("run/screen.log");
}

TEST(BadMachine, UnreadableFilesAreNamedWithTheirLineAndNothingChanges) {
    struct Case {
        const char* file;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"machine.ini", "[drives]\nC = fixed, drive_c\nD = floppy, drive_d\n",
         "machine.ini line 3: unknown drive type"},
        {"machine.ini", "[drives]\nC fixed\n", "machine.ini line 2: expected"},
        {"registry.reg",
         "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=42\n",
         "registry.reg line 4: unknown value form"},
        {"registry.reg", "REGEDIT4\n", "registry.reg line 1: expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        BuiltMachine m(WithScript({"ok"}));
        std::string keep = m.Read(c.file);
        {
            std::ofstream out(m.Folder() + "/" + c.file, std::ios::trunc);
            out << c.text;
        }
        const std::string errors = m.Folder() + "/errors.txt";
        const std::string command =
            "'" + machine::InstallerHostPath(m.Recipe()) + "' </dev/null 2>'" + errors + "'";
        const int status = std::system(command.c_str());
        EXPECT_EQ(WEXITSTATUS(status), 2);
        EXPECT_NE(m.Read("errors.txt").find(c.expected), std::string::npos) << m.Read("errors.txt");
        EXPECT_FALSE(fs::exists(m.Folder() + "/run/screen.log"));
        EXPECT_EQ(m.Read(c.file), c.text);
    }
}

TEST(BadMachine, ProgramOutsideAnyMachineSaysHowToMakeOne) {
    const std::string command = "'" + apptest::InstallerProgram() + "' </dev/null 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) {
        output.append(buffer, n);
    }
    const int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(output.find("no folder above it holds a machine.ini"), std::string::npos) << output;
    EXPECT_NE(output.find("mivo-machine"), std::string::npos) << output;
}

}  // namespace
