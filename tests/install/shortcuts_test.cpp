// The shortcut step of an installation on built machines: the shortcut's name and contents
// by exam, replacement, the default main-program folder, the start of the main program (the
// stand-in) after the shortcut exists, and the removal of the answer-folder shortcut.
#include "install/shortcuts.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "built_machine.h"
#include "host_text.h"
#include "install/mivo_dlg.h"
#include "link_reader.h"
#include "platform/posix/machine.h"

using testsupport::CountLines;
using testsupport::Names;

namespace {

namespace fs = std::filesystem;
using linktest::RunLnkinfo;

const char* const kDesktop = "drive_c/Users/Examinee/Desktop";
const char* const kCommonDesktop = "drive_c/Users/Public/Desktop";

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A machine built for one test. The main program's command is wrapped so that, at the
// moment it starts, it records what lies on the desktop; then it runs the stand-in.
class ShortcutMachine {
public:
    explicit ShortcutMachine(machine::MachineRecipe recipe = {}) : m_machine(std::move(recipe)) {
        WrapMainProgram();
    }
    ~ShortcutMachine() { StopMainPrograms(); }
    ShortcutMachine(const ShortcutMachine&) = delete;
    ShortcutMachine& operator=(const ShortcutMachine&) = delete;

    std::string Host(const std::string& relative) const {
        return m_machine.Folder() + "/" + relative;
    }
    std::string Desktop(const std::string& name = "") const {
        return Host(kDesktop) + (name.empty() ? "" : "/" + name);
    }
    std::string Started() const { return ReadWhole(Host("run/started.log")); }

    // Waits until the main program has been started `count` times in all.
    bool WaitForMainProgramStarts(size_t count) const {
        for (int i = 0; i < 100; ++i) {
            if (CountLines(Started(), "role=main-program") >= count) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // Makes the machine's registry hold no key of the main program at all.
    void DropRegistry() const {
        std::ofstream(Host("registry.reg"), std::ios::trunc)
            << "Windows Registry Editor Version 5.00\n";
    }

private:
    void WrapMainProgram() {
        const std::string probe = Host("probe.sh");
        std::ofstream(probe) << "ls \"$MIVO_MACHINE/" << kDesktop
                             << "\" > \"$MIVO_MACHINE/run/desktop-at-start.txt\"\n"
                             << "exec '" << MIVO_STANDIN_PATH << "' main-program \"$@\"\n";
        std::istringstream ini(ReadWhole(Host("machine.ini")));
        std::string out;
        std::string line;
        while (std::getline(ini, line)) {
            const auto eq = line.find(" = ");
            if (eq != std::string::npos && line.find("VemraExam.exe") < eq) {
                line = line.substr(0, eq) + " = /bin/sh '" + probe + "'";
            }
            out += line + "\n";
        }
        std::ofstream(Host("machine.ini"), std::ios::trunc) << out;
        std::string problem;
        if (!platform::posix::UseMachine(m_machine.Folder(), problem)) {
            ADD_FAILURE() << problem;
        }
    }

    // The stand-ins this test started end when their stop file appears; one that does not
    // within a few seconds is ended by its process id. A test that starts the main program
    // waits for its start first, so that none is missed here.
    void StopMainPrograms() const {
        const std::string started = Started();
        if (started.empty()) {
            return;
        }
        std::ofstream(Host("run/stop-main-program")).close();
        std::istringstream lines(started);
        std::string line;
        while (std::getline(lines, line)) {
            const auto at = line.find(" pid=");
            if (at == std::string::npos) {
                continue;
            }
            const pid_t pid = static_cast<pid_t>(std::atol(line.c_str() + at + 5));
            if (pid <= 1) {
                continue;
            }
            bool gone = false;
            for (int i = 0; i < 60 && !gone; ++i) {
                gone = kill(pid, 0) != 0;
                if (!gone) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            }
            if (!gone) {
                kill(pid, SIGTERM);
            }
        }
    }

    apptest::BuiltMachine m_machine;  // removes the machine folder after the stop above
};

machine::MachineRecipe InProgramFiles() {
    machine::MachineRecipe recipe;
    recipe.mainProgramFolder = "C:\\Program Files\\Vemra";
    return recipe;
}

// What every shortcut of an installation holds, as lnkinfo reads it.
void ExpectExamShortcut(const std::string& hostPath, const std::string& target,
                        const std::string& description) {
    const linktest::LnkinfoReport r = RunLnkinfo(hostPath);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.Get("Local path"), target) << r.output;
    EXPECT_EQ(r.Get("Description"), description) << r.output;
    EXPECT_EQ(r.Get("Icon location"), target) << r.output;
    EXPECT_EQ(r.Get("Icon index"), "0") << r.output;
    EXPECT_FALSE(r.Has("Command line arguments")) << r.output;
    EXPECT_FALSE(r.Has("Working directory")) << r.output;
}

// ---------------------------------------------------------------------------------------
// Names and contents by exam.

struct NameRow {
    int32_t ordinal;
    int32_t examKind;
    int32_t level;
    const char* file;
    const char* description;
};

const NameRow kNameRows[] = {
    {107, 0, 1, "제107회 전산 세무회계.lnk", "제107회 전산세무회계자격시험"},
    {107, 0, 4, "제107회 전산 세무회계.lnk", "제107회 전산세무회계자격시험"},
    {5, 3, 2, "제5회 전산 세무회계.lnk", "제5회 전산세무회계자격시험"},  // past exam
    {3, 2, 1, "제3회 세무회계 경진대회.lnk", "제3회 세무회계 경진대회"},
    {999, 2, 3, "제999회 세무회계 경진대회.lnk", "제999회 세무회계 경진대회"},
    {1000, 0, 2, "제특별회 전산 세무회계.lnk", "제특별회 전산세무회계자격시험"},
    {1234, 2, 3, "제특별회 전산 세무회계.lnk", "제특별회 전산세무회계자격시험"},  // kind ignored
};

TEST(ExamShortcut, NameDescriptionAndContentsByExam) {
    const std::string target = "C:\\Program Files\\Vemra\\VemraExam.exe";
    for (const NameRow& row : kNameRows) {
        SCOPED_TRACE(std::to_string(row.ordinal) + " kind " + std::to_string(row.examKind) +
                     " level " + std::to_string(row.level));
        ShortcutMachine m(InProgramFiles());
        CMivoDlg dlg;
        dlg.m_examKind = row.examKind;
        EXPECT_EQ(CreateExamShortcutAndLaunch(row.level, dlg, row.ordinal), 1);
        EXPECT_EQ(Names(m.Desktop()), std::vector<std::string>{row.file});
        ExpectExamShortcut(m.Desktop(row.file), target, row.description);
        // The main program, a path with a blank, was started once.
        ASSERT_TRUE(m.WaitForMainProgramStarts(1)) << m.Started();
        EXPECT_EQ(CountLines(m.Started(), "role=main-program"), 1u);
    }
}

TEST(ExamShortcut, MainProgramStartsAfterTheShortcutExists) {
    ShortcutMachine m;
    CMivoDlg dlg;
    CreateExamShortcutAndLaunch(1, dlg, 107);
    ASSERT_TRUE(m.WaitForMainProgramStarts(1));
    EXPECT_EQ(ReadWhole(m.Host("run/desktop-at-start.txt")), "제107회 전산 세무회계.lnk\n");
}

TEST(ExamShortcut, SameExamReplacesItsLinkAndOtherExamsKeepTheirs) {
    ShortcutMachine m;
    CMivoDlg regular;
    CMivoDlg competition;
    competition.m_examKind = 2;
    CreateExamShortcutAndLaunch(1, regular, 107);
    CreateExamShortcutAndLaunch(3, competition, 3);
    CreateExamShortcutAndLaunch(2, regular, 1000);
    const std::string competitionLink = ReadWhole(m.Desktop("제3회 세무회계 경진대회.lnk"));
    ASSERT_FALSE(competitionLink.empty());

    // Spoil two links, then install the same regular exam at another level and a second
    // special exam: both are written anew, the competition's link is left as it was.
    std::ofstream(m.Desktop("제107회 전산 세무회계.lnk"), std::ios::trunc) << "stale";
    std::ofstream(m.Desktop("제특별회 전산 세무회계.lnk"), std::ios::trunc) << "stale";
    CreateExamShortcutAndLaunch(3, regular, 107);
    CreateExamShortcutAndLaunch(4, competition, 1001);

    EXPECT_EQ(Names(m.Desktop()),
              (std::vector<std::string>{"제107회 전산 세무회계.lnk", "제3회 세무회계 경진대회.lnk",
                                        "제특별회 전산 세무회계.lnk"}));
    ExpectExamShortcut(m.Desktop("제107회 전산 세무회계.lnk"), "C:\\Vemra\\VemraExam.exe",
                       "제107회 전산세무회계자격시험");
    ExpectExamShortcut(m.Desktop("제특별회 전산 세무회계.lnk"), "C:\\Vemra\\VemraExam.exe",
                       "제특별회 전산세무회계자격시험");
    EXPECT_EQ(ReadWhole(m.Desktop("제3회 세무회계 경진대회.lnk")), competitionLink);
    EXPECT_TRUE(m.WaitForMainProgramStarts(5)) << m.Started();
}

TEST(ExamShortcut, DefaultMainProgramFolderWhenTheRegistryKeyIsMissing) {
    // Without the key the installer can only know the default folder on the system drive,
    // where this machine's main program lies.
    machine::MachineRecipe recipe;  // main program in C:\Vemra, the default
    ShortcutMachine m(recipe);
    m.DropRegistry();
    CMivoDlg dlg;
    EXPECT_EQ(CreateExamShortcutAndLaunch(1, dlg, 107), 1);
    ExpectExamShortcut(m.Desktop("제107회 전산 세무회계.lnk"), "C:\\Vemra\\VemraExam.exe",
                       "제107회 전산세무회계자격시험");
    EXPECT_TRUE(m.WaitForMainProgramStarts(1));
}

TEST(ExamShortcut, RegistryPathIsFollowed) {
    // The counterpart of the default: with the key, a main program elsewhere is the target,
    // and the default folder (which holds nothing) is not.
    ShortcutMachine m(InProgramFiles());
    CMivoDlg dlg;
    CreateExamShortcutAndLaunch(1, dlg, 107);
    ExpectExamShortcut(m.Desktop("제107회 전산 세무회계.lnk"),
                       "C:\\Program Files\\Vemra\\VemraExam.exe", "제107회 전산세무회계자격시험");
    EXPECT_FALSE(fs::exists(m.Host("drive_c/Vemra")));
    EXPECT_TRUE(m.WaitForMainProgramStarts(1));
}

TEST(ExamShortcut, MissingMainProgramStillGetsItsShortcutAndNothingStarts) {
    machine::MachineRecipe recipe;
    recipe.omitComponents = {"VemraExam.exe"};
    ShortcutMachine m(recipe);
    CMivoDlg dlg;
    EXPECT_EQ(CreateExamShortcutAndLaunch(1, dlg, 107), 1);
    const linktest::LnkinfoReport r = RunLnkinfo(m.Desktop("제107회 전산 세무회계.lnk"));
    EXPECT_EQ(r.Get("Local path"), "C:\\Vemra\\VemraExam.exe") << r.output;
    // The start is refused before any process is made, so there is nothing to wait for.
    EXPECT_EQ(m.Started(), "");
}

TEST(ExamShortcut, MissingDesktopFolderLeavesNoLinkButTheProgramStarts) {
    ShortcutMachine m;
    fs::remove_all(m.Desktop());
    CMivoDlg dlg;
    EXPECT_EQ(CreateExamShortcutAndLaunch(1, dlg, 107), 1);
    EXPECT_FALSE(fs::exists(m.Desktop()));
    EXPECT_EQ(Names(m.Host("drive_c/Users/Examinee")), std::vector<std::string>{});
    EXPECT_TRUE(m.WaitForMainProgramStarts(1));
}

TEST(ExamShortcut, CreateShellLinkAnswersTheSaveResult) {
    ShortcutMachine m;
    const std::string link = "C:\\Users\\Examinee\\Desktop\\x.lnk";
    EXPECT_EQ(CreateShellLink("C:\\Vemra\\VemraExam.exe", "설명", link), 0);
    ExpectExamShortcut(m.Desktop("x.lnk"), "C:\\Vemra\\VemraExam.exe", "설명");
    fs::permissions(m.Desktop("x.lnk"), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(CreateShellLink("C:\\Vemra\\Other.exe", "다른", link),
              static_cast<long>(0x80070005L));
    EXPECT_EQ(RunLnkinfo(m.Desktop("x.lnk")).Get("Description"), "설명");
    EXPECT_EQ(CreateShellLink("C:\\Vemra\\VemraExam.exe", "d", "C:\\NoSuch\\x.lnk"),
              static_cast<long>(0x80070003L));
}

// ---------------------------------------------------------------------------------------
// The answer-folder shortcut.

struct AnswerFolderRow {
    const char* what;
    const char* userName;    // name on the user's desktop; null: none
    const char* commonName;  // name on the common desktop; null: none
};

TEST(AnswerFolderShortcut, RemovedFromBothDesktopsWherePresent) {
    const AnswerFolderRow rows[] = {
        {"on both desktops", "Vemra답안폴더.lnk", "Vemra답안폴더.lnk"},
        {"on the user's desktop only", "Vemra답안폴더.lnk", nullptr},
        {"on the common desktop only", nullptr, "Vemra답안폴더.lnk"},
        {"on neither", nullptr, nullptr},
        {"names match without regard to case", "VEMRA답안폴더.LNK", "vemra답안폴더.Lnk"},
    };
    for (const AnswerFolderRow& row : rows) {
        SCOPED_TRACE(row.what);
        ShortcutMachine m;
        // Neighbours that must stay: the exam's link, and names that only look alike.
        std::ofstream(m.Host(std::string(kDesktop) + "/제107회 전산 세무회계.lnk")) << "x";
        std::ofstream(m.Host(std::string(kDesktop) + "/Vemra답안폴더.lnk.bak")) << "x";
        std::ofstream(m.Host(std::string(kCommonDesktop) + "/Vemra답안폴더 2.lnk")) << "x";
        if (row.userName) {
            std::ofstream(m.Host(std::string(kDesktop) + "/" + row.userName)) << "link";
        }
        if (row.commonName) {
            std::ofstream(m.Host(std::string(kCommonDesktop) + "/" + row.commonName)) << "link";
        }
        RemoveAnswerFolderShortcut();
        EXPECT_EQ(Names(m.Host(kDesktop)),
                  (std::vector<std::string>{"Vemra답안폴더.lnk.bak", "제107회 전산 세무회계.lnk"}));
        EXPECT_EQ(Names(m.Host(kCommonDesktop)), std::vector<std::string>{"Vemra답안폴더 2.lnk"});
        EXPECT_EQ(ReadWhole(m.Host("run/shell.log")), "SHChangeNotify SHCNE_ASSOCCHANGED\n");
    }
}

TEST(AnswerFolderShortcut, UndeletableShortcutStaysSilentlyAndTheOtherGoes) {
    ShortcutMachine m;
    const std::string user = m.Host(std::string(kDesktop) + "/Vemra답안폴더.lnk");
    const std::string common = m.Host(std::string(kCommonDesktop) + "/Vemra답안폴더.lnk");
    std::ofstream(user) << "link";
    std::ofstream(common) << "link";
    fs::permissions(user, fs::perms::owner_write, fs::perm_options::remove);  // read-only
    RemoveAnswerFolderShortcut();
    EXPECT_TRUE(fs::exists(user));
    EXPECT_FALSE(fs::exists(common));
    EXPECT_EQ(ReadWhole(m.Host("run/shell.log")), "SHChangeNotify SHCNE_ASSOCCHANGED\n");
}

TEST(AnswerFolderShortcut, MissingDesktopFoldersAreNoObstacle) {
    ShortcutMachine m;
    fs::remove_all(m.Host(kDesktop));
    fs::remove_all(m.Host(kCommonDesktop));
    RemoveAnswerFolderShortcut();
    EXPECT_EQ(ReadWhole(m.Host("run/shell.log")), "SHChangeNotify SHCNE_ASSOCCHANGED\n");
}

}  // namespace
