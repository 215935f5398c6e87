// The database layer on database files of the simulated machine: QueryText results, the
// exception texts of SQLite's and the layer's own failures, column types, finalize errors,
// a schema change that uses no retry, and the dispatching wait.
#include "db/sqlite_db.h"
#include "db_test_support.h"
#include "platform/system.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>

namespace {

constexpr const char* kDatabase = "C:\\BaseData\\PData_112_3.DBS";
// The examinee lookup exactly as the installer words it.
constexpr const char* kLookup =
    "select Name \n       from Examinee        \n      where No = '11000001' \n";

// The message of the exception `call` throws ("none" when it throws none).
std::string Thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const CSqliteException& e) {
        return e.Message();
    }
    return "none";
}

TEST(SqliteExceptionTest, NamesEveryCodeInItsMessage) {
    const std::pair<int, const char*> cases[] = {
        {0, "SQLITE_OK[0]: t"},          {5, "SQLITE_BUSY[5]: t"},
        {25, "SQLITE_RANGE[25]: t"},     {26, "UNKNOWN_ERROR[26]: t"},
        {99, "UNKNOWN_ERROR[99]: t"},    {100, "SQLITE_ROW[100]: t"},
        {101, "SQLITE_DONE[101]: t"},    {102, "UNKNOWN_ERROR[102]: t"},
        {-1, "UNKNOWN_ERROR[-1]: t"},    {1000, "SQLITEDB_ERROR[1000]: t"},
        {1001, "UNKNOWN_ERROR[1001]: t"}};
    for (const auto& [code, message] : cases) {
        const CSqliteException e(code, "t");
        EXPECT_EQ(e.Code(), code);
        EXPECT_EQ(e.Message(), message);
    }
    EXPECT_EQ(CSqliteException(14).Message(), "SQLITE_CANTOPEN[14]: ");
}

class SqliteDbTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_machine.Host("C:\\BaseData"));
        ASSERT_TRUE(m_db.Open(kDatabase));
        m_db.QueryText("create table Examinee (No text primary key, Name text, Seat)");
        m_db.QueryText(
            "insert into Examinee values ('11000001', '홍길동', 12), "
            "('11000002', null, 1.5), ('21000003', x'00ff', null)");
    }
    CSqliteDB m_db;
};

TEST_F(SqliteDbTest, QueryTextGivesColumnZeroOfTheFirstRowOrTheEmptyString) {
    const std::pair<const char*, const char*> cases[] = {
        {kLookup, "홍길동"},
        {"select Name from Examinee where No = '99999999'", ""},  // no row
        {"select Name from Examinee where No = '11000002'", ""},  // null
        {"select Seat, Name from Examinee order by No", "12"},    // first row, column 0
        {"pragma integrity_check;", "ok"},
        {"create table Other (x)", ""},  // no column at all
    };
    for (const auto& [statement, text] : cases) {
        EXPECT_EQ(m_db.QueryText(statement), text) << statement;
    }
    // Only a returned value carries the change count; the file is the machine's.
    int changes = -1;
    EXPECT_EQ(m_db.QueryText("update Examinee set Seat = 3 where No > '2'", &changes), "");
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(m_db.QueryText("select count(*) from Examinee", &changes), "3");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(m_db.QueryText("select Name from Examinee where No = '11000002'", &changes), "");
    EXPECT_EQ(changes, 0);  // a null is no value
    EXPECT_TRUE(std::filesystem::exists(m_machine.Host(kDatabase)));
}

TEST_F(SqliteDbTest, FailuresThrowWithTheCodeNameAndTheMessage) {
    CSqliteDB empty, notADatabase, missingFolder, noDrive, never, reader, missingFile;
    m_machine.WriteHostFile(m_machine.Host("C:\\BaseData\\junk.DBS"), std::string(4096, 'x'));
    ASSERT_TRUE(empty.Open("C:\\BaseData\\Empty.DBS"));
    ASSERT_TRUE(reader.OpenReadOnly(kDatabase));
    ASSERT_TRUE(notADatabase.Open("C:\\BaseData\\junk.DBS"));  // read lazily
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { empty.QueryText(kLookup); }, "SQLITE_ERROR[1]: no such table: Examinee"},
        {[&] { m_db.QueryText("selec 1"); }, "SQLITE_ERROR[1]: near \"selec\": syntax error"},
        // A failed step tells its cause only when the statement is finalized.
        {[&] { m_db.QueryText("insert into Examinee (No) values ('11000001')"); },
         "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: Examinee.No"},
        {[&] { notADatabase.QueryText("pragma integrity_check;"); },
         "UNKNOWN_ERROR[26]: file is not a database"},
        {[&] { missingFolder.Open("C:\\NoFolder\\x.DBS"); },
         "SQLITE_CANTOPEN[14]: unable to open database file"},
        {[&] { noDrive.Open("Q:\\x.DBS"); }, "SQLITE_CANTOPEN[14]: unable to open database file"},
        {[&] { never.QueryText("select 1"); }, "SQLITEDB_ERROR[1000]: Database is not open"},
        // Read-only: a missing file is not made, and nothing can be written.
        {[&] { missingFile.OpenReadOnly("C:\\BaseData\\Missing.DBS"); },
         "SQLITE_CANTOPEN[14]: unable to open database file"},
        {[&] { reader.QueryText("delete from Examinee"); },
         "SQLITE_READONLY[8]: attempt to write a readonly database"},
    };
    for (const auto& [call, message] : cases) {
        EXPECT_EQ(Thrown(call), message);
    }
    EXPECT_FALSE(std::filesystem::exists("Q:\\x.DBS"));  // nothing reached the host as is
    EXPECT_FALSE(std::filesystem::exists(m_machine.Host("C:\\BaseData\\Missing.DBS")));
    EXPECT_EQ(reader.QueryText("select count(*) from Examinee"), "3");
    // A failed open keeps SQLite's handle until Close; Close of nothing does nothing.
    EXPECT_TRUE(missingFolder.IsOpen());
    for (CSqliteDB* db : {&missingFolder, &never, &m_db}) {
        db->Close();
        EXPECT_FALSE(db->IsOpen());
        EXPECT_EQ(Thrown([&] { db->RunQuery("select 1"); }),
                  "SQLITEDB_ERROR[1000]: Database is not open");
    }
}

TEST_F(SqliteDbTest, ColumnTypesAndColumnErrors) {
    const std::pair<const char*, int> cases[] = {
        {"select Seat from Examinee where No = '11000001'", 1},
        {"select Seat from Examinee where No = '11000002'", 2},
        {"select Name from Examinee where No = '11000001'", 3},
        {"select Name from Examinee where No = '21000003'", 4},
        {"select Name from Examinee where No = '11000002'", 5}};
    for (const auto& [statement, type] : cases) {
        EXPECT_EQ(m_db.RunQuery(statement).ColumnType(0), type) << statement;
    }
    const CSqliteQuery none = m_db.RunQuery("create table Other (x)");
    EXPECT_TRUE(none.EndOfData());
    EXPECT_EQ(Thrown([&] { none.ColumnType(0); }),
              "SQLITEDB_ERROR[1000]: Column index out of range");
    EXPECT_EQ(Thrown([&] { CSqliteQuery().ColumnType(0); }),
              "SQLITEDB_ERROR[1000]: Query has no statement");
}

TEST_F(SqliteDbTest, FinalizeReportsTheStepsErrorAndTheDestructorSwallowsIt) {
    // Statements whose step failed, on a connection of the test's own; the legacy prepare
    // leaves the cause to finalizing, as in the layer.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(m_machine.Host(kDatabase).c_str(), &db), SQLITE_OK);
    const auto failed = [&] {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare(db, "insert into Examinee (No) values ('11000001')", -1, &statement,
                        nullptr);
        EXPECT_EQ(sqlite3_step(statement), SQLITE_ERROR);
        return statement;
    };
    CSqliteQuery query(db, failed(), true, 0, true);
    EXPECT_EQ(Thrown([&] { query.Finalize(); }),
              "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: Examinee.No");
    EXPECT_FALSE(query.HasStatement());
    EXPECT_NO_THROW({ CSqliteQuery dropped(db, failed(), true, 0, true); });
    sqlite3_stmt* notOwned = failed();
    { CSqliteQuery borrowed(db, notOwned, true, 0, false); }
    EXPECT_EQ(sqlite3_finalize(notOwned), SQLITE_CONSTRAINT);  // left to its owner
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);                   // so every statement was finalized
}

TEST_F(SqliteDbTest, ASchemaChangeBetweenPrepareAndStepUsesNoRetry) {
    dbtest::RecordingObserver observer;
    observer.afterPrepare = [&] {
        if (observer.prepares.size() == 1) {  // another connection alters the schema
            sqlite3* other = nullptr;
            sqlite3_open(m_machine.Host(kDatabase).c_str(), &other);
            EXPECT_EQ(sqlite3_exec(other, "create table New (x)", nullptr, nullptr, nullptr), 0);
            sqlite3_close(other);
        }
    };
    EXPECT_EQ(m_db.QueryText(kLookup), "홍길동");
    EXPECT_EQ(observer.prepares, (std::vector<int>{0, 0}));
    EXPECT_EQ(observer.steps, (std::vector<int>{SQLITE_ERROR, SQLITE_ROW}));
    EXPECT_TRUE(observer.retryWaits.empty());
}

TEST(WaitWithMessagesTest, WaitsOnTheTickCounterAndDispatchesMeanwhile) {
    dbtest::CountingPump::Install();
    const uint32_t start = platform::TickCount();
    WaitWithMessages(50);
    EXPECT_GE(platform::TickCount() - start, 50u);
    EXPECT_GT(dbtest::CountingPump::dispatches, 10);  // it polls rather than sleeps
}

}  // namespace
