// `mivo-package check` as the people who prepare sticks use it: a sound package passes; a
// package broken in one way is reported with the finding for that fault and fails; the
// package folder is never written to.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "package_builder.h"
#include "platform/posix/machine.h"
#include "temp_machine.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::TempMachine;

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ArchiveOf(const std::string& folder, int level) {
    return folder + "/BaseData/Level" + std::to_string(level) + "/VemraExamDB.zip";
}

std::string DatabaseOf(const std::string& folder, int kind) {
    return folder + "/BaseData/PData_112_" + std::to_string(kind) + ".DBS";
}

// The package of scripts/demo: four levels of exam 112, both databases, the installer.
void SoundPackage(const std::string& folder,
                  const std::vector<package::Examinee>& examinees = package::SampleExaminees(),
                  const std::vector<int>& levels = {1, 2, 3, 4}, bool databases = true) {
    std::string problem;
    ASSERT_TRUE(package::BuildBaseData(folder, 112, 1, levels, databases, examinees, problem))
        << problem;
    WriteFile(folder + "/mivo", "installer");
}

void Rebuild(const std::string& folder, int level, package::PackageRecipe recipe) {
    std::string problem;
    ASSERT_TRUE(package::BuildPackage(ArchiveOf(folder, level), recipe, problem)) << problem;
}

package::PackageRecipe Recipe(int level) {
    package::PackageRecipe recipe;
    recipe.level = level;
    return recipe;
}

// Small byte edits of a built archive.
void EditBytes(const std::string& path, const std::function<void(std::string&)>& edit) {
    std::string bytes = TempMachine::ReadHostFile(path);
    edit(bytes);
    WriteFile(path, bytes);
}

// Flips a byte in the middle of an entry's data, found through its local header.
void DamageEntryData(const std::string& zip, const std::string& entryName) {
    EditBytes(zip, [&](std::string& bytes) {
        const size_t name = bytes.find(entryName);
        ASSERT_NE(name, std::string::npos);
        const size_t header = name - 30;
        const size_t compressed = static_cast<uint8_t>(bytes[header + 18]) |
                                  static_cast<uint8_t>(bytes[header + 19]) << 8;
        const size_t extra = static_cast<uint8_t>(bytes[header + 28]) |
                             static_cast<uint8_t>(bytes[header + 29]) << 8;
        bytes[name + entryName.size() + extra + compressed / 2] ^= 0x55;
    });
}

// Renames every occurrence of a name inside the file (same length: headers stay valid).
void RenameInFile(const std::string& path, const std::string& from, const std::string& to) {
    EditBytes(path, [&](std::string& bytes) {
        for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at)) {
            bytes.replace(at, from.size(), to);
        }
    });
}

void RunSql(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << (message != nullptr ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

// Every file below the folder with its size and modification time.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> Snapshot(
    const std::string& folder) {
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> files;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        files[item.path().string()] = {item.is_regular_file() ? item.file_size() : 0,
                                       item.last_write_time()};
    }
    return files;
}

struct CheckRun {
    int status = -1;
    json report;
};

CheckRun Check(const std::string& folder) {
    const std::string command =
        std::string(MIVO_PACKAGE_TOOL) + " check --json " + platform::posix::ShellQuote(folder);
    CheckRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return run;
    }
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.report = json::parse(out, nullptr, false);
    return run;
}

struct Case {
    const char* fault;
    std::function<void(const std::string& folder)> make;
    const char* subject;   // the expected finding: its subject,
    const char* kind;      // its kind,
    const char* severity;  // its severity,
    const char* words;     // and words its line must hold
};

const Case kCases[] = {
    {"level archive with a damaged entry",
     [](const std::string& f) {
         SoundPackage(f);
         DamageEntryData(ArchiveOf(f, 2), "Vemra/0007/Company.db");
     },
     "Level2", "archive-damaged", "error", "entry Vemra\\0007\\Company.db: error "},
    {"level archive cut short",
     [](const std::string& f) {
         SoundPackage(f);
         fs::resize_file(ArchiveOf(f, 4), 100);
     },
     "Level4", "archive-unreadable", "error", "error 220"},
    {"level record whose data is damaged",
     [](const std::string& f) {
         SoundPackage(f);
         DamageEntryData(ArchiveOf(f, 1), "Vemra/LevelInfo.dat");
     },
     "Level1", "record-unreadable", "error", "level record cannot be read: error "},
    {"level archive without a record",
     [](const std::string& f) {
         SoundPackage(f);
         auto recipe = Recipe(4);
         recipe.withRecord = false;
         Rebuild(f, 4, recipe);
     },
     "Level4", "record-missing", "error", "no level record"},
    {"the record the installer reads is damaged",
     [](const std::string& f) {
         SoundPackage(f);
         DamageEntryData(ArchiveOf(f, 3), "Vemra/LevelInfo.dat");
     },
     "installer", "record-source-unreadable", "error", "from Level3"},
    {"only level 1: the installer reads the absent Level2",
     [](const std::string& f) { SoundPackage(f, package::SampleExaminees(), {1}); }, "installer",
     "record-source-missing", "error", "BaseData\\Level2\\VemraExamDB.zip"},
    {"records disagree on the ordinal",
     [](const std::string& f) {
         SoundPackage(f);
         auto recipe = Recipe(2);
         recipe.ordinal = 111;
         Rebuild(f, 2, recipe);
     },
     "Level2", "record-disagrees", "error", "ordinal 111, kind 1 where Level3's says ordinal 112"},
    {"records disagree on the exam kind",
     [](const std::string& f) {
         SoundPackage(f);
         auto recipe = Recipe(1);
         recipe.examKind = 2;
         Rebuild(f, 1, recipe);
     },
     "Level1", "record-disagrees", "error", "kind 2 where"},
    {"record of another level",
     [](const std::string& f) {
         SoundPackage(f);
         Rebuild(f, 4, Recipe(2));
     },
     "Level4", "record-level-mismatch", "error", "names level 2"},
    {"record outside Vemra\\",
     [](const std::string& f) {
         SoundPackage(f);
         auto recipe = Recipe(1);
         recipe.recordName = "Data/LEVELINFO.DAT";
         Rebuild(f, 1, recipe);
     },
     "Level1", "record-misplaced", "error", "Data\\LEVELINFO.DAT"},
    {"short record",
     [](const std::string& f) {
         SoundPackage(f);
         auto recipe = Recipe(2);
         recipe.recordSize = 300;
         Rebuild(f, 2, recipe);
     },
     "Level2", "record-size", "warning", "300 bytes"},
    {"program file missing from an archive",
     [](const std::string& f) {
         SoundPackage(f);
         RenameInFile(ArchiveOf(f, 3), "Lumisave.exe", "Lumisave.ex_");
     },
     "Level3", "program-files-missing", "error", "Lumisave.exe"},
    {"installer missing",
     [](const std::string& f) {
         SoundPackage(f);
         fs::remove(f + "/mivo");
     },
     "installer", "installer-missing", "error", "mivo.exe"},
    {"no package databases",
     [](const std::string& f) {
         SoundPackage(f, {}, {1, 2, 3, 4}, false);
     },
     "BaseData\\PData_112_3.DBS", "database-missing", "error", "the register the installer asks"},
    {"database that is not one",
     [](const std::string& f) {
         SoundPackage(f);
         EditBytes(DatabaseOf(f, 2), [](std::string& bytes) { bytes.replace(0, 6, "SQLzte"); });
     },
     "BaseData\\PData_112_2.DBS", "database-unreadable", "error", "not a database"},
    {"register without its table",
     [](const std::string& f) {
         SoundPackage(f);
         RunSql(DatabaseOf(f, 3), "drop table Examinee;");
     },
     "BaseData\\PData_112_3.DBS", "examinee-table-missing", "error", "no such table: Examinee"},
    {"numbers no level accepts",
     [](const std::string& f) {
         SoundPackage(f, {{"11100001", "김민준"}, {"31100001", "이지우"}, {"1210001", "박민준"}});
     },
     "BaseData\\PData_112_3.DBS", "numbers-refused", "error",
     "2 examinee numbers no level accepts: 31100001 (refused by the exam-number rules), 1210001 "
     "(not eight characters)"},
    {"number of an absent level",
     [](const std::string& f) {
         SoundPackage(f, {{"11100001", "김민준"}, {"22100001", "이지우"}}, {1, 3});
     },
     "BaseData\\PData_112_3.DBS", "numbers-refused", "error", "22100001 (Level4 absent)"},
    {"number registered twice",
     [](const std::string& f) {
         SoundPackage(f);
         RunSql(DatabaseOf(f, 3),
                "create table Copy as select No, Name from Examinee; drop table Examinee;"
                "create table Examinee (No text, Name text);"
                "insert into Examinee select * from Copy; drop table Copy;"
                "insert into Examinee values ('11100002', '홍길동');");
     },
     "BaseData\\PData_112_3.DBS", "numbers-duplicate", "error", "11100002 (2 times)"},
    {"examinee without a name",
     [](const std::string& f) {
         SoundPackage(f, {{"11100001", "김민준"}, {"21100001", "(null)"}});
     },
     "BaseData\\PData_112_3.DBS", "examinees-refused", "error", "21100001 (no name)"},
    {"names that normalise alike",
     [](const std::string& f) {
         SoundPackage(f, {{"11100001", "Kim Min-Jun"}, {"21100002", "KIMMINJUN"}});
     },
     "BaseData\\PData_112_3.DBS", "names-alike", "warning",
     "Kim Min-Jun (11100001) = KIMMINJUN (21100002)"},
};

class PackageCheck : public ::testing::Test {
protected:
    std::string Folder() const { return m_temp.Folder() + "/MivoPackage"; }
    TempMachine m_temp;  // only for its temporary folder
};

TEST_F(PackageCheck, TheDemoPackagePasses) {
    SoundPackage(Folder());
    const CheckRun run = Check(Folder());
    EXPECT_EQ(run.status, 0) << run.report.dump(2);
    EXPECT_EQ(run.report["summary"]["errors"], 0);
    EXPECT_EQ(run.report["summary"]["warnings"], 0);
    EXPECT_EQ(run.report["summary"]["passed"], true);
}

TEST_F(PackageCheck, EachBrokenPackageIsReportedWithItsFinding) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.fault);
        fs::remove_all(Folder());
        c.make(Folder());
        const auto before = Snapshot(Folder());
        const CheckRun run = Check(Folder());
        EXPECT_EQ(Snapshot(Folder()), before) << "the check wrote into the package folder";
        ASSERT_TRUE(run.report.is_object());
        const std::string expectedSeverity = c.severity;
        EXPECT_EQ(run.status, expectedSeverity == "error" ? 1 : 0);
        const json* found = nullptr;
        for (const json& finding : run.report["findings"]) {
            if (finding["subject"] == c.subject && finding["kind"] == c.kind) {
                found = &finding;
            }
        }
        ASSERT_NE(found, nullptr) << run.report.dump(2);
        EXPECT_EQ((*found)["severity"], c.severity);
        EXPECT_NE((*found)["text"].get<std::string>().find(c.words), std::string::npos)
            << (*found)["text"];
    }
}

}  // namespace
