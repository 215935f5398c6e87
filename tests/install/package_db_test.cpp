// The package database check and the examinee lookup, on real SQLite files.
#include <gtest/gtest.h>

#include <fstream>

#include "install/mivo_dlg.h"
#include "install/package_db.h"
#include "install_test_support.h"

namespace {

using installtest::PackageMachine;
using package::Examinee;

TEST(PackageDatabase, KindsAndPaths) {
    struct Case {
        int ordinal;
        int level;
        int kind;
    };
    const Case cases[] = {{112, 1, 3}, {112, 3, 3}, {112, 2, 2}, {103, 4, 2}, {95, 4, 4},
                          {91, 4, 4},  {102, 4, 4}, {90, 4, 2},  {95, 2, 2},  {95, 7, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.ordinal) + "/" + std::to_string(c.level));
        EXPECT_EQ(DatabaseKind(c.ordinal, c.level), c.kind);
    }
    PackageMachine m;
    EXPECT_EQ(PackageDatabasePath(112, 1), "D:\\Pkg\\BaseData\\PData_112_3.DBS");
    EXPECT_EQ(PackageDatabasePath(95, 4), "D:\\Pkg\\BaseData\\PData_95_4.DBS");
}

TEST(PackageDatabase, LookupNormalisesNamesAndAnswersTheRegisteredSpelling) {
    PackageMachine m;
    m.BuildBaseData(112, 1, {1}, true,
                    {{"11100001", "AB CDEF"},
                     {"11100002", "가 나 다 "},
                     {"11100003", "   "},
                     {"11100004", "(null)"},
                     {"11100005", "pass"},
                     {"11100006", "o'brien"}});
    CMivoDlg dialog;
    CheckPackageDatabase(112, dialog, 1);
    ASSERT_NE(dialog.m_dbOpen, 0);
    struct Case {
        const char* number;
        const char* typed;
        const char* answer;
    };
    const Case cases[] = {
        {"11100001", "ab-cd ef", "AB CDEF"},
        {"11100001", "abcdef", "AB CDEF"},
        {"11100001", "abcdeg", ""},
        {"11100002", "가나다", "가 나 다"},
        {"11100003", "anyone", ""},  // only blanks: no name
        {"11100004", "anyone", ""},  // null: no name
        {"11100005", "pass", "pass"},
        {"11199999", "nobody", ""},
        {"11100006", "O'Brien", "o'brien"},
        // Typed text cannot change the statement: a quote stays inside the literal.
        {"' or No like '%", "AB CDEF", ""},
        {"11100001' or '1'='1", "AB CDEF", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.number) + " / " + c.typed);
        EXPECT_EQ(LookupExaminee(dialog, c.number, c.typed), c.answer);
        EXPECT_NE(dialog.m_dbOpen, 0);
    }
}

TEST(PackageDatabase, UnusableDatabasesAnswerPass) {
    {
        // No file: the flag stays 0.
        PackageMachine m;
        CMivoDlg dialog;
        CheckPackageDatabase(112, dialog, 1);
        EXPECT_EQ(dialog.m_dbOpen, 0);
        EXPECT_EQ(LookupExaminee(dialog, "11100001", "x"), "pass");
    }
    {
        // Not a database at all: the check fails quietly.
        PackageMachine m;
        m.Machine().WriteHostFile(m.PackageFolder() + "/BaseData/PData_112_3.DBS",
                                  std::string(4096, 'x'));
        CMivoDlg dialog;
        CheckPackageDatabase(112, dialog, 1);
        EXPECT_EQ(dialog.m_dbOpen, 0);
        EXPECT_TRUE(m.View().boxes.empty());
    }
    {
        // A database without the Examinee table: the lookup closes it and answers pass, now
        // and for every later lookup.
        PackageMachine m;
        m.BuildBaseData(112, 1, {1});
        CMivoDlg dialog;
        CheckPackageDatabase(112, dialog, 1);
        ASSERT_NE(dialog.m_dbOpen, 0);
        ASSERT_TRUE(dialog.m_packageDb.IsOpen());
        dialog.m_packageDb.QueryText("drop table Examinee");
        EXPECT_EQ(LookupExaminee(dialog, "11100001", "x"), "pass");
        EXPECT_EQ(dialog.m_dbOpen, 0);
        EXPECT_FALSE(dialog.m_packageDb.IsOpen());
        EXPECT_EQ(LookupExaminee(dialog, "11100001", "x"), "pass");
        EXPECT_TRUE(m.View().boxes.empty());
    }
}

TEST(PackageDatabase, DamagedPagesFailTheIntegrityCheck) {
    PackageMachine m;
    std::vector<Examinee> many;
    for (int i = 0; i < 3000; ++i) {
        many.push_back(
            {"1110" + std::to_string(10000 + i), "examinee number " + std::to_string(i)});
    }
    m.BuildBaseData(112, 1, {1}, true, many);
    // Scribble over the middle of the file: pages the integrity check reads, not the header.
    const std::string path = m.PackageFolder() + "/BaseData/PData_112_3.DBS";
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(4096 * 5 + 100);
        const std::string junk(3000, '\x5a');
        file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    CMivoDlg dialog;
    CheckPackageDatabase(112, dialog, 1);
    EXPECT_EQ(dialog.m_dbOpen, 0);
    EXPECT_FALSE(dialog.m_packageDb.IsOpen());
    EXPECT_EQ(LookupExaminee(dialog, "11110000", "examinee number 0"), "pass");
}

}  // namespace
