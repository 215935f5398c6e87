// Exam packages and package databases.
#include "package_builder.h"
#include "platform/posix/machine.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "pe_writer.h"

using platform::posix::ShellQuote;

namespace fs = std::filesystem;

namespace package {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

bool WriteFile(const fs::path& path, const std::string& bytes, std::string& problem) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) {
        problem = "cannot write " + path.string();
        return false;
    }
    return true;
}

// Page-like data that compresses as a database does: repeated structure, varying values.
std::string CompanyData(size_t bytes, int seed) {
    std::mt19937 random(static_cast<unsigned>(seed));
    std::string out;
    out.reserve(bytes);
    while (out.size() < bytes) {
        out += "ROW|" + std::to_string(random() % 100000) + "|계정과목|" +
               std::to_string(random() % 1000000) + "|2026-12-07|\n";
    }
    out.resize(bytes);
    return out;
}

}  // namespace

std::vector<uint8_t> LevelRecordBytes(int ordinal, int level, int examKind, int32_t company1,
                                      int32_t company2) {
    std::vector<uint8_t> record(388, 0);
    Put16(record, 0, static_cast<uint32_t>(ordinal));
    Put16(record, 2, static_cast<uint32_t>(level));
    Put32(record, 8, static_cast<uint32_t>(company1));
    Put32(record, 12, static_cast<uint32_t>(company2));
    Put32(record, 108, static_cast<uint32_t>(examKind));
    // The reserved ranges carry bytes of their own, which an installation must keep.
    for (size_t i = 112; i < 388; ++i) {
        record[i] = static_cast<uint8_t>(i * 7);
    }
    record[4] = 0xA5;
    record[100] = 0x5A;
    return record;
}

bool BuildPackage(const std::string& hostZipPath, const PackageRecipe& recipe,
                  std::string& problem) {
    std::error_code ec;
    const fs::path zipPath = fs::absolute(hostZipPath);
    fs::create_directories(zipPath.parent_path(), ec);
    std::string templ = (fs::temp_directory_path() / "mivo-package-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) {
        problem = "cannot make a temporary folder";
        return false;
    }
    const fs::path tree = templ;
    bool ok = true;
    if (recipe.withRecord) {
        std::vector<uint8_t> record =
            LevelRecordBytes(recipe.ordinal, recipe.level, recipe.examKind, recipe.companyCode1,
                             recipe.companyCode2);
        record.resize(recipe.recordSize, 0);
        ok =
            WriteFile(tree / recipe.recordName, std::string(record.begin(), record.end()), problem);
    }
    char company[16];
    std::snprintf(company, sizeof company, "%04d", recipe.companyCode1);
    const fs::path companyFolder = tree / "Vemra" / company;
    ok = ok && WriteFile(companyFolder / "Company.db",
                         CompanyData(recipe.companyBytes, recipe.level), problem);
    ok = ok && WriteFile(companyFolder / "Voucher.dat", CompanyData(4096, recipe.ordinal), problem);
    ok = ok && WriteFile(tree / "Vemra" / "Answer.dat", std::string(256, '\0'), problem);
    ok = ok && WriteFile(tree / "Vemra" / "_Def" / "Default.dat", "default answers\n", problem);
    ok = ok && WriteFile(tree / "Vemra" / "Sheet" / "Sheet01.dat", "answer sheet\n", problem);
    for (const char* program : {"Lumisave.exe", "VemraExam.exe"}) {
        ok = ok && pe::WritePeFile((tree / program).string(), nullptr, problem);
    }
    for (const auto& [name, contents] : recipe.extraFiles) {
        ok = ok && WriteFile(tree / name, contents, problem);
    }
    if (ok) {
        fs::remove(zipPath, ec);
        const std::string command = "cd " + ShellQuote(tree.string()) + " && zip -q -r -X " +
                                    ShellQuote(zipPath.string()) + " .";
        if (std::system(command.c_str()) != 0) {
            problem = "zip failed for " + zipPath.string();
            ok = false;
        }
    }
    fs::remove_all(tree, ec);
    return ok;
}

bool BuildPackageDatabase(const std::string& hostPath, const std::vector<Examinee>& examinees,
                          std::string& problem) {
    std::error_code ec;
    fs::create_directories(fs::absolute(hostPath).parent_path(), ec);
    fs::remove(hostPath, ec);
    sqlite3* db = nullptr;
    if (sqlite3_open(hostPath.c_str(), &db) != SQLITE_OK) {
        problem = "cannot make " + hostPath;
        sqlite3_close(db);
        return false;
    }
    bool ok = sqlite3_exec(db,
                           "create table Examinee (No text primary key, Name text, Room text);"
                           "create table ExamInfo (Key text, Value text);"
                           "insert into ExamInfo values ('made by', 'mivo-package');",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    // One transaction for the whole register: one write to the disk, not one per examinee.
    ok = ok && sqlite3_exec(db, "begin;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "insert into Examinee values (?, ?, ?)", -1, &insert,
                                  nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < examinees.size(); ++i) {
        sqlite3_bind_text(insert, 1, examinees[i].number.c_str(), -1, SQLITE_TRANSIENT);
        if (examinees[i].name == "(null)") {
            sqlite3_bind_null(insert, 2);
        } else {
            sqlite3_bind_text(insert, 2, examinees[i].name.c_str(), -1, SQLITE_TRANSIENT);
        }
        const std::string room = "제" + std::to_string(1 + i / 20) + "고사실";
        sqlite3_bind_text(insert, 3, room.c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) {
        problem = std::string("cannot fill ") + hostPath + ": " + sqlite3_errmsg(db);
    }
    sqlite3_close(db);
    return ok;
}

std::vector<Examinee> SampleExaminees() {
    static const char* const kFamily[] = {"김", "이", "박", "최", "정", "강", "조", "윤"};
    static const char* const kGiven[] = {"민준", "서연", "도윤", "지우", "하준",
                                         "서윤", "시우", "지민", "예준", "하은"};
    std::vector<Examinee> out;
    int n = 0;
    for (const char* prefix : {"11", "12", "21", "22"}) {
        for (int i = 1; i <= 10; ++i, ++n) {
            char number[16];
            std::snprintf(number, sizeof number, "%s1%05d", prefix, i);
            out.push_back({number, std::string(kFamily[n % 8]) + kGiven[(n * 3) % 10]});
        }
    }
    out.push_back({"12100099", "Kim Min-Jun"});
    return out;
}

bool BuildBaseData(const std::string& hostPackageFolder, int ordinal, int examKind,
                   const std::vector<int>& levels, bool withDatabases,
                   const std::vector<Examinee>& examinees, std::string& problem) {
    for (int level : levels) {
        PackageRecipe recipe;
        recipe.ordinal = ordinal;
        recipe.level = level;
        recipe.examKind = examKind;
        const std::string zip =
            hostPackageFolder + "/BaseData/Level" + std::to_string(level) + "/VemraExamDB.zip";
        if (!BuildPackage(zip, recipe, problem)) {
            return false;
        }
    }
    if (!withDatabases) {
        return true;
    }
    std::vector<int> kinds = {2, 3};
    if (ordinal >= 91 && ordinal <= 102) {
        kinds.push_back(4);
    }
    for (int kind : kinds) {
        const std::string db = hostPackageFolder + "/BaseData/PData_" + std::to_string(ordinal) +
                               "_" + std::to_string(kind) + ".DBS";
        if (!BuildPackageDatabase(db, examinees, problem)) {
            return false;
        }
    }
    return true;
}

}  // namespace package
