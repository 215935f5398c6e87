// SQLite as built for MinGW from Debian's sources, through the database layer on Windows:
// UTF-8 Windows paths reach SQLite's Windows file layer unchanged (LibraryFilePath), Hangul
// texts round-trip, and a file that cannot be made gives SQLite's own error.
#include "db/sqlite_db.h"
#include "platform/files.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class WindowsSqliteTest : public testsupport::MachineTest {};

TEST_F(WindowsSqliteTest, DatabaseAtAHangulPathRoundTripsTexts) {
    ASSERT_TRUE(platform::MakeFolder("C:\\자료"));
    const std::string path = "C:\\자료\\시험 명단.db";
    {
        CSqliteDB db;
        ASSERT_TRUE(db.Open(path));
        db.QueryText("CREATE TABLE Examinee (number TEXT PRIMARY KEY, name TEXT)");
        db.QueryText("INSERT INTO Examinee VALUES ('12345678', '홍길동')");
        EXPECT_EQ(db.QueryText("SELECT count(*) FROM Examinee"), "1");
    }
    EXPECT_TRUE(platform::FileExists(path)) << "the file lies at the Windows path itself";
    CSqliteDB again;
    ASSERT_TRUE(again.Open("c:\\자료\\시험 명단.DB"));
    EXPECT_EQ(again.QueryText("SELECT name FROM Examinee WHERE number = '12345678'"), "홍길동");
    try {
        again.QueryText("INSERT INTO Examinee VALUES ('12345678', '중복')");
        ADD_FAILURE() << "a duplicate number was accepted";
    } catch (const CSqliteException& e) {
        EXPECT_EQ(e.Code(), 19) << e.Message();
    }
}

TEST_F(WindowsSqliteTest, DatabaseInAMissingFolderCannotBeOpened) {
    CSqliteDB db;
    try {
        db.Open("C:\\NoSuchFolder\\exam.db");
        ADD_FAILURE() << "opened a database in a missing folder";
    } catch (const CSqliteException& e) {
        EXPECT_EQ(e.Code(), 14) << e.Message();  // SQLITE_CANTOPEN
    }
    EXPECT_FALSE(platform::FileExists("C:\\NoSuchFolder\\exam.db"));
}

}  // namespace
