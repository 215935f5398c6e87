// Whole installations by the real installer: a first installation and everything it leaves
// behind, the reinstall question, the kinds of exam, the reserved numbers, the examinee
// register's spelling of a name, and a register that cannot be used.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "exam_machine.h"
#include "link_reader.h"
#include "platform/errors.h"

namespace {

namespace fs = std::filesystem;
using e2e::ExamMachine;
using e2e::ExamSpec;
using e2e::ScreenEntry;

const char* const kDesktop = "C:\\Users\\Examinee\\Desktop";
const char* const kCommonDesktop = "C:\\Users\\Public\\Desktop";

std::string Describe(const std::vector<ScreenEntry>& screen) {
    std::string out;
    for (const ScreenEntry& e : screen) {
        out += "\n  " + e.kind + " [" + e.caption + "] " + e.text + " -> " + e.answer;
    }
    return out;
}

// The registry line of a value as regedit writes it.
std::string StringValue(const std::string& name, const std::string& windowsPath) {
    std::string escaped;
    for (char c : windowsPath) {
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return "\"" + name + "\"=\"" + escaped + "\"";
}

std::string DwordValue(const std::string& name, int value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", value);
    return "\"" + name + "\"=dword:" + buf;
}

// The exam shortcut as lnkinfo reads it.
void ExpectShortcut(const ExamMachine& m, const std::string& file, const std::string& description) {
    const std::string path = m.Host(std::string(kDesktop) + "\\" + file);
    ASSERT_TRUE(e2e::Exists(path)) << file;
    const linktest::LnkinfoReport r = linktest::RunLnkinfo(path);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.Get("Local path"), "C:\\Vemra\\VemraExam.exe") << r.output;
    EXPECT_EQ(r.Get("Description"), description) << r.output;
    EXPECT_EQ(r.Get("Icon location"), "C:\\Vemra\\VemraExam.exe") << r.output;
    EXPECT_EQ(r.Get("Icon index"), "0") << r.output;
}

// The confirmation dialog of the run opened with `title` and closed with IDOK, and no
// message box was shown.
void ExpectQuietInstallation(const ExamMachine& m, const std::string& title) {
    const std::vector<ScreenEntry> screen = m.Screen();
    ASSERT_EQ(screen.size(), 2u) << Describe(screen);
    EXPECT_EQ(screen[0].kind, "opened");
    EXPECT_EQ(screen[0].caption, title);
    EXPECT_EQ(screen[1].kind, "closed");
    EXPECT_EQ(screen[1].answer, "IDOK");
}

// ---------------------------------------------------------------------------------------
// A first installation.

TEST(FirstInstallation, LeavesTheExamReadyAndTheMainProgramRunning) {
    const ExamSpec exam;
    ExamMachine m({}, exam);
    for (const char* desktop : {kDesktop, kCommonDesktop}) {
        e2e::WriteFile(m.Host(std::string(desktop) + "\\Vemra답안폴더.lnk"), "old link");
    }

    ASSERT_EQ(m.Run(e2e::InstallScript("11100001", "김민준")), 0);
    EXPECT_EQ(m.UnusedScriptLines(), 0);
    ExpectQuietInstallation(m, "제 112 회 전산세무회계자격시험");

    // The exam data, stamped, with its display marker.
    e2e::ExpectInstalledExam(m, exam, 1, "11100001", "김민준");
    // The level record was read out of a package through a scratch folder that is gone.
    EXPECT_FALSE(e2e::Exists(m.Host("D:\\MivoPackage\\VemraExamDB")));

    // The program copies beside the main program, and the libraries it must lose.
    for (const char* name : {"Lumisave.exe", "VemraExam.exe"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(e2e::ReadFile(m.Host(std::string("C:\\Vemra\\") + name)),
                  e2e::ReadFile(m.Host(std::string("C:\\VemraExamDB\\") + name)));
    }
    for (const char* name : {"Ferrodat.dll", "Pelliscor.dll", "Grendmark.dll"}) {
        EXPECT_FALSE(e2e::Exists(m.Host(std::string("C:\\Vemra\\") + name))) << name;
    }
    EXPECT_TRUE(e2e::Exists(m.Host("C:\\Vemra\\Corlis2025.dll")));
    EXPECT_TRUE(e2e::Exists(m.Host("C:\\Vemra\\Tovalex.exe")));

    // The registry tells the main program what was installed.
    const std::string registry = m.Registry();
    EXPECT_NE(registry.find(
                  StringValue("SAExamDBZIP", "D:\\MivoPackage\\BaseData\\Level1\\VemraExamDB.zip")),
              std::string::npos)
        << registry;
    EXPECT_NE(registry.find(DwordValue("ExamKind", 1)), std::string::npos) << registry;

    // The shortcut, the answer-folder shortcuts gone, and the programs started.
    ExpectShortcut(m, "제112회 전산 세무회계.lnk", "제112회 전산세무회계자격시험");
    EXPECT_FALSE(e2e::Exists(m.Host(std::string(kDesktop) + "\\Vemra답안폴더.lnk")));
    EXPECT_FALSE(e2e::Exists(m.Host(std::string(kCommonDesktop) + "\\Vemra답안폴더.lnk")));
    EXPECT_EQ(m.StartsOf("db-server", 1), 1u) << m.Started();
    EXPECT_EQ(m.StartsOf("main-program", 1), 1u) << m.Started();

    // Nothing was installed before, so nothing was backed up; the installer's drive is a
    // second fixed drive and the exam kind is 1, so no companion tools.
    EXPECT_FALSE(e2e::Exists(m.Host("C:\\Temp")));
    EXPECT_FALSE(e2e::Exists(m.Host("D:\\Temp")));
    EXPECT_FALSE(e2e::Exists(m.Host("D:\\하드에서 USB로 내보내기.exe")));
    const std::string debug = m.DebugLog();
    EXPECT_EQ(e2e::CountLines(debug, "[Mivo] 설치 : D:, C:\\Vemra\\Tovalex.exe"), 1u) << debug;
    EXPECT_EQ(e2e::CountLines(debug, "[Mivo] 정상"), 0u) << debug;
}

// ---------------------------------------------------------------------------------------
// The reinstall question.

TEST(Reinstall, NoKeepsEverythingAndYesBacksUpTheAnswersAndInstallsAnew) {
    const ExamSpec exam;
    ExamMachine m({}, exam);
    ASSERT_EQ(m.Run(e2e::InstallScript("11100001", "김민준")), 0);
    m.StopStandins();
    // The examinee's answers, as the main program keeps them (a dot name among them).
    const std::string data = m.Host("C:\\VemraExamDB");
    e2e::WriteFile(data + "/Vemra/Answer.dat", "answers of 11100001");
    e2e::WriteFile(data + "/Vemra/Sheet/Sheet02.dat", "second sheet");
    e2e::WriteFile(data + "/Vemra/.lock", "held by the main program");
    const auto before = e2e::Tree(data);
    const std::string registryBefore = m.Registry();
    const size_t boxes = m.Screen().size();

    {
        SCOPED_TRACE("answered No");
        ASSERT_EQ(m.Run({"no"}), 0) << m.Read("run/screen.log");
        const std::vector<ScreenEntry> screen = m.Screen();
        ASSERT_EQ(screen.size(), boxes + 1) << Describe(screen);
        EXPECT_EQ(screen.back().kind, "messagebox");
        EXPECT_EQ(screen.back().caption, "제 112 회 전산세무회계자격시험");
        EXPECT_EQ(screen.back().flags, "0x44");
        EXPECT_EQ(screen.back().text, e2e::kReinstallQuestion);
        EXPECT_EQ(screen.back().answer, "IDNO");
        e2e::ExpectSameTree(e2e::Tree(data), before);
        EXPECT_EQ(m.Registry(), registryBefore);
        EXPECT_FALSE(e2e::Exists(m.Host("C:\\Temp")));
        EXPECT_EQ(e2e::CountLines(m.Started(), "role="), 2u) << m.Started();
    }
    {
        SCOPED_TRACE("answered Yes");
        std::vector<std::string> script = {"yes"};
        const std::string name = e2e::RegisteredName("21100003");
        for (const std::string& line : e2e::InstallScript("21100003", name)) {
            script.push_back(line);
        }
        ASSERT_EQ(m.Run(script), 0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        const std::vector<ScreenEntry> screen = m.Screen();
        ASSERT_EQ(screen.size(), boxes + 4) << Describe(screen);
        EXPECT_EQ(screen[boxes + 1].answer, "IDYES");
        EXPECT_EQ(screen[boxes + 3].answer, "IDOK");

        // The old data, answers and dot names included, is in the one backup folder.
        std::vector<std::string> backups;
        for (const auto& entry : fs::directory_iterator(m.Host("C:\\Temp"))) {
            backups.push_back(entry.path().filename().string());
        }
        ASSERT_EQ(backups.size(), 1u);
        EXPECT_EQ(backups[0].size(), std::string("VemraExamDB_0314093005_Inst").size())
            << backups[0];
        EXPECT_EQ(backups[0].rfind("VemraExamDB_", 0), 0u) << backups[0];
        e2e::ExpectSameTree(e2e::Tree(m.Host("C:\\Temp\\" + backups[0])), before);
        // The new installation is the level-3 package, fresh, stamped for the new examinee.
        e2e::ExpectInstalledExam(m, exam, 3, "21100003", name);
        // The same exam's shortcut is replaced, not doubled; the main program started again.
        std::vector<std::string> desktop;
        for (const auto& entry : fs::directory_iterator(m.Host(kDesktop))) {
            desktop.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(desktop, std::vector<std::string>{"제112회 전산 세무회계.lnk"});
        EXPECT_EQ(m.StartsOf("main-program", 2), 2u) << m.Started();
        EXPECT_NE(m.Registry().find(StringValue(
                      "SAExamDBZIP", "D:\\MivoPackage\\BaseData\\Level3\\VemraExamDB.zip")),
                  std::string::npos);
    }
}

// The scripted view's log tells the steps of the long work, one line each, not one per file:
// a first installation only extracts; a reinstall backs up, removes, then extracts.
TEST(Progress, OneScreenLogLinePerStep) {
    ExamMachine m;
    ASSERT_EQ(m.Run(e2e::InstallScript("11100001", "김민준")), 0);
    m.StopStandins();
    std::vector<std::string> script = {"yes"};
    for (const std::string& line : e2e::InstallScript("11100001", "김민준")) {
        script.push_back(line);
    }
    ASSERT_EQ(m.Run(script), 0);
    std::vector<std::string> steps;
    std::istringstream lines(m.Read("run/screen.log"));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("progress ", 0) == 0) {
            const size_t files = line.find(" files=");
            steps.push_back(line.substr(0, line.find(" text=")) +
                            (files == std::string::npos ? "" : line.substr(files)));
        }
    }
    ASSERT_EQ(steps.size(), 4u) << m.Read("run/screen.log");
    const std::string extraction = "progress view=scripted step=extraction files=";
    EXPECT_EQ(steps[0].rfind(extraction, 0), 0u) << steps[0];
    EXPECT_GT(std::atoi(steps[0].substr(extraction.size()).c_str()), 3) << steps[0];
    EXPECT_EQ(steps[1], "progress view=scripted step=backup");
    EXPECT_EQ(steps[2], "progress view=scripted step=removal");
    EXPECT_EQ(steps[3], steps[0]);
}

// Which installed level records make the installer ask. The package's level is that of the
// record the installer reads: from Level3, else Level4, else Level2.
TEST(Reinstall, QuestionOnlyForTheSameOrdinalAndAMatchingLevel) {
    struct Row {
        std::vector<int> packages;
        int installedOrdinal;
        int installedLevel;
        bool asked;
    };
    const Row rows[] = {
        {{1, 2, 3, 4}, 112, 1, true},   // package level 3, installed 1
        {{1, 2, 3, 4}, 112, 3, true},   // 3 and 3
        {{1, 2, 3, 4}, 112, 2, false},  // 3 and 2
        {{1, 2, 3, 4}, 112, 4, false},  // 3 and 4
        {{1, 2, 3, 4}, 111, 1, false},  // another exam
        {{2, 4}, 112, 4, true},         // package level 4
        {{2, 4}, 112, 2, false},        // 4 and 2 do not match
        {{1, 2}, 112, 4, false},        // package level 2: 2 and 4 do not match
        {{1, 2}, 112, 2, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "packages of " << row.packages.size() << " levels, installed ordinal "
                     << row.installedOrdinal << " level " << row.installedLevel);
        ExamSpec exam;
        exam.levels = row.packages;
        exam.withDatabases = false;
        ExamMachine m({}, exam);
        const std::vector<uint8_t> record =
            package::LevelRecordBytes(row.installedOrdinal, row.installedLevel, 1, 7, 12);
        e2e::WriteFile(m.Host("C:\\VemraExamDB\\Vemra\\LevelInfo.dat"),
                       std::string(record.begin(), record.end()));
        const auto before = e2e::Tree(m.Host("C:\\VemraExamDB"));

        // Asked: No ends the run. Not asked: the dialog opens, and is cancelled.
        ASSERT_EQ(m.Run({row.asked ? "no" : "press cancel"}), 0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        const std::vector<ScreenEntry> screen = m.Screen();
        ASSERT_EQ(screen.size(), row.asked ? 1u : 2u) << Describe(screen);
        if (row.asked) {
            EXPECT_EQ(screen[0].text, e2e::kReinstallQuestion);
            EXPECT_EQ(screen[0].flags, "0x44");
        } else {
            EXPECT_EQ(screen[0].kind, "opened");
            EXPECT_EQ(screen[1].answer, "IDCANCEL");
        }
        e2e::ExpectSameTree(e2e::Tree(m.Host("C:\\VemraExamDB")), before);
        EXPECT_EQ(m.Started(), "");
    }
}

// A package whose record cannot be read says so and ends the run before anything changes; a
// missing record package is told in the system's words, and the examinee's own level may
// still install.
TEST(UnreadableRecord, IsToldPlainly) {
    const char* const kUnreadable =
        "문제 설치파일 D:\\MivoPackage\\BaseData\\Level3\\VemraExamDB.zip 을 읽을 수 "
        "없어\r\n문제를 설치할 수 없습니다.";
    struct Row {
        const char* what;
        std::vector<int> packages;
        const char* level3;  // written over the Level3 package when not null
        std::vector<std::string> script;
        std::vector<std::string> boxes;
        bool dialogOpened;
    };
    const Row rows[] = {
        {"Level3 is not a zip archive", {1, 2, 3, 4}, "not a zip archive", {"ok"},
         {kUnreadable}, false},
        {"Level3 holds no record", {1, 2, 3, 4}, "", {"ok"}, {kUnreadable}, false},
        {"only Level1: Level2 is missing", {1}, nullptr, {"ok", "press cancel"},
         {platform::FormatSystemError(platform::kErrorPathNotFound)}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ExamSpec exam;
        exam.levels = row.packages;
        ExamMachine m({}, exam);
        if (row.level3 != nullptr && *row.level3 != 0) {
            e2e::WriteFile(m.PackageOf(3), row.level3);
        } else if (row.level3 != nullptr) {
            package::PackageRecipe recipe;
            recipe.level = 3;
            recipe.withRecord = false;
            std::string problem;
            ASSERT_TRUE(package::BuildPackage(m.PackageOf(3), recipe, problem)) << problem;
        }
        ASSERT_EQ(m.Run(row.script), 0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        EXPECT_EQ(m.BoxTexts(), row.boxes);
        const std::vector<ScreenEntry> screen = m.Screen();
        EXPECT_EQ(screen.back().kind, row.dialogOpened ? "closed" : "messagebox")
            << Describe(screen);
        EXPECT_FALSE(e2e::Exists(m.Host("C:\\VemraExamDB")));
        EXPECT_EQ(m.Started(), "");
    }
}

// ---------------------------------------------------------------------------------------
// Kinds of exam: titles, shortcuts, the exam kind recorded.

TEST(ExamKinds, TitleShortcutAndRecordedKind) {
    struct Row {
        const char* what;
        int ordinal;
        int kind;
        std::vector<int> packages;
        std::vector<package::Examinee> extraExaminees;
        bool withDatabases;
        const char* number;
        const char* name;
        int installedLevel;
        const char* title;
        const char* shortcut;
        const char* description;
    };
    const Row rows[] = {
        {"competition",
         5,
         2,
         {1, 2, 3, 4},
         {},
         true,
         "11100001",
         "김민준",
         1,
         "제 5 회 세무회계 경진대회",
         "제5회 세무회계 경진대회.lnk",
         "제5회 세무회계 경진대회"},
        {"special exam of level 2",
         1000,
         1,
         {1, 2},
         {{"12200001", "정하준"}},
         true,
         "12200001",
         "정하준",
         2,
         "제 특별 회 전산세무 2급",
         "제특별회 전산 세무회계.lnk",
         "제특별회 전산세무회계자격시험"},
        {"special exam of level 3",
         1001,
         2,
         {1, 2, 3, 4},
         {{"21300001", "강서윤"}},
         true,
         "21300001",
         "강서윤",
         3,
         "제 특별 회 전산회계 1급",
         "제특별회 전산 세무회계.lnk",
         "제특별회 전산세무회계자격시험"},
        {"past exam",
         98,
         3,
         {1, 2, 3, 4},
         {},
         false,
         "22111111",
         "연습생",
         4,
         "제 98 회 전산세무회계자격시험",
         "제98회 전산 세무회계.lnk",
         "제98회 전산세무회계자격시험"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ExamSpec exam;
        exam.ordinal = row.ordinal;
        exam.examKind = row.kind;
        exam.levels = row.packages;
        exam.withDatabases = row.withDatabases;
        for (const package::Examinee& e : row.extraExaminees) {
            exam.examinees.push_back(e);
        }
        ExamMachine m({}, exam);
        ASSERT_EQ(m.Run(e2e::InstallScript(row.number, row.name)), 0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        ExpectQuietInstallation(m, row.title);
        e2e::ExpectInstalledExam(m, exam, row.installedLevel, row.number, row.name);
        ExpectShortcut(m, row.shortcut, row.description);
        EXPECT_NE(m.Registry().find(DwordValue("ExamKind", row.kind)), std::string::npos)
            << m.Registry();
        EXPECT_EQ(m.StartsOf("main-program", 1), 1u) << m.Started();
    }
}

// ---------------------------------------------------------------------------------------
// The register: reserved numbers, the name as the register writes it, no usable register.

TEST(Register, ReservedNumbersSkipTheLookupAndStampNoNumber) {
    struct Row {
        const char* number;
        std::vector<std::string> nameLines;
        int level;
        const char* stampedName;
    };
    const Row rows[] = {
        {"22000000", {}, 4, ""},                          // no name needed
        {"11000000", {"type name 감독관"}, 1, "감독관"},  // a name is kept as typed
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.number);
        const ExamSpec exam;  // its register knows neither number
        ExamMachine m({}, exam);
        std::vector<std::string> script = {std::string("type exam-number ") + row.number};
        script.insert(script.end(), row.nameLines.begin(), row.nameLines.end());
        script.push_back("press install");
        ASSERT_EQ(m.Run(script), 0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        ExpectQuietInstallation(m, "제 112 회 전산세무회계자격시험");
        e2e::ExpectInstalledExam(m, exam, row.level, "", row.stampedName);
    }
}

TEST(Register, TheRegisteredSpellingOfTheNameIsStamped) {
    struct Row {
        const char* stored;
        const char* nameLine;  // how the examinee enters the name
        bool accepted;
        const char* stamped;
    };
    const Row rows[] = {
        {"AB CDEF", "paste name ab-cd ef", true, "AB CDEF"},
        {"Kim Min-Jun", "type name KIM MINJUN", true, "Kim Min-Jun"},
        {"가 나 다 ", "type name 가나다", true, "가 나 다"},
        {"pass", "type name P A S S", true, "P A S S"},  // the sentinel keeps the typed name
        {"김민준", "type name 김민순", false, ""},
        {"   ", "type name 김민준", false, ""},  // blanks are no name
        {"(null)", "type name 김민준", false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.stored) + " / " + row.nameLine);
        ExamSpec exam;
        exam.examinees = {{"11100077", row.stored}};
        ExamMachine m({}, exam);
        std::vector<std::string> script = {"type exam-number 11100077", row.nameLine,
                                           "press install"};
        if (!row.accepted) {
            script.push_back("ok");
            script.push_back("press cancel");
        }
        ASSERT_EQ(m.Run(script), 0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        if (row.accepted) {
            ExpectQuietInstallation(m, "제 112 회 전산세무회계자격시험");
            e2e::ExpectInstalledExam(m, exam, 1, "11100077", row.stamped);
        } else {
            EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{e2e::kNotRegistered});
            EXPECT_FALSE(e2e::Exists(m.Host("C:\\VemraExamDB")));
        }
    }
}

// Without a usable register every number and name passes, as typed.
TEST(Register, MissingOrDamagedDatabaseLetsEveryExamineePass) {
    struct Row {
        const char* what;
        const char* command;  // shell command on the level-3 database, "$DB"
    };
    const Row rows[] = {
        {"missing", "rm \"$DB\""},
        {"not a database", "printf 'these are not the pages of a database' > \"$DB\""},
        {"no examinee table", "rm \"$DB\" && sqlite3 \"$DB\" 'create table ExamInfo (Key text);'"},
        // A page of another table is damaged: the register itself still reads, but the
        // integrity check fails, and a database that fails it is not used.
        {"damaged page",
         "sqlite3 \"$DB\" 'create table Filler (t text);"
         "insert into Filler select hex(randomblob(500)) from "
         "(with recursive c(x) as (select 1 union all select x+1 from c "
         "where x < 200) select x from c);' && "
         "root=$(sqlite3 \"$DB\" \"select rootpage from sqlite_master "
         "where name='Filler'\") && "
         "printf '\\005\\377\\377' | dd of=\"$DB\" bs=1 "
         "seek=$(( (root - 1) * 4096 + 2 )) conv=notrunc status=none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ExamSpec exam;
        ExamMachine m({}, exam);
        // The package's record is that of level 3, whose register has the kind 3.
        const std::string db = m.PackageFolder() + "/BaseData/PData_112_3.DBS";
        const std::string command = "DB='" + db + "'; " + row.command;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        // Neither the number nor the name is registered.
        ASSERT_EQ(m.Run(e2e::InstallScript("11100099", "아무개")), 0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        ExpectQuietInstallation(m, "제 112 회 전산세무회계자격시험");
        e2e::ExpectInstalledExam(m, exam, 1, "11100099", "아무개");
    }
}

}  // namespace
