// Builds exam packages for the tests and the demo: level packages (real zip archives made
// with Info-ZIP's zip) holding a level record, program files, a company folder and answer
// data, and package databases (real SQLite files) with an examinee register.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace package {

/// One level package.
struct PackageRecipe {
    int ordinal = 112;         // ExamOrdinal
    int level = 1;             // Level
    int examKind = 1;          // ExamKind: 2 competition, 3 past-exam practice
    int32_t companyCode1 = 7;  // the company folder's number
    int32_t companyCode2 = 12;
    bool withRecord = true;                          // include Vemra\LevelInfo.dat
    std::string recordName = "Vemra/LevelInfo.dat";  // its name inside the archive
    size_t recordSize = 388;          // bytes of the record file (shorter: cut; longer: padded)
    size_t companyBytes = 64 * 1024;  // size of the company data file
    std::vector<std::pair<std::string, std::string>> extraFiles;  // archive name, contents
};

/// The 388 bytes of a level record.
std::vector<uint8_t> LevelRecordBytes(int ordinal, int level, int examKind, int32_t company1,
                                      int32_t company2);

/// Writes the package as a zip archive at `hostZipPath` (its folder is made). False with a
/// message in `problem` on failure.
bool BuildPackage(const std::string& hostZipPath, const PackageRecipe& recipe,
                  std::string& problem);

/// One examinee of the register.
struct Examinee {
    std::string number;
    std::string name;
};

/// Writes a package database with the Examinee table (and a little other data) at
/// `hostPath`, replacing an existing file.
bool BuildPackageDatabase(const std::string& hostPath, const std::vector<Examinee>& examinees,
                          std::string& problem);

/// The demo's register: a few dozen examinees of every level for an exam ordinal.
std::vector<Examinee> SampleExaminees();

/// A package folder's BaseData: the packages of `levels`, and, with `withDatabases`, the
/// databases of kinds 2 and 3 (and 4 for ordinals 91 to 102) with `examinees`.
bool BuildBaseData(const std::string& hostPackageFolder, int ordinal, int examKind,
                   const std::vector<int>& levels, bool withDatabases,
                   const std::vector<Examinee>& examinees, std::string& problem);

}  // namespace package
