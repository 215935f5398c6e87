// The database layer on real database files of the simulated machine: results of
// QueryText, the exception texts of SQLite's and the layer's own failures, column types,
// finalize errors, a schema change that does not use a retry, and the dispatching wait.
#include "db/sqlite_db.h"
#include "db_test_support.h"
#include "platform/system.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <vector>

namespace {

using dbtest::CountingView;
using dbtest::RecordingObserver;

constexpr const char* kDatabase = "C:\\BaseData\\PData_112_3.DBS";

// Runs `call` and returns the exception it throws (code -1 when it throws none).
CSqliteException Thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const CSqliteException& e) {
        return e;
    }
    return CSqliteException(-1, "no exception");
}

TEST(SqliteExceptionTest, NamesEveryCodeInItsMessage) {
    struct Case {
        int code;
        const char* message;
    };
    const Case cases[] = {
        {0, "SQLITE_OK[0]: text"},
        {1, "SQLITE_ERROR[1]: text"},
        {5, "SQLITE_BUSY[5]: text"},
        {6, "SQLITE_LOCKED[6]: text"},
        {17, "SQLITE_SCHEMA[17]: text"},
        {25, "SQLITE_RANGE[25]: text"},
        {26, "UNKNOWN_ERROR[26]: text"},
        {99, "UNKNOWN_ERROR[99]: text"},
        {100, "SQLITE_ROW[100]: text"},
        {101, "SQLITE_DONE[101]: text"},
        {102, "UNKNOWN_ERROR[102]: text"},
        {999, "UNKNOWN_ERROR[999]: text"},
        {1000, "SQLITEDB_ERROR[1000]: text"},
        {1001, "UNKNOWN_ERROR[1001]: text"},
        {-1, "UNKNOWN_ERROR[-1]: text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const CSqliteException e(c.code, "text");
        EXPECT_EQ(e.Code(), c.code);
        EXPECT_EQ(e.Message(), c.message);
    }
    // Without a text the message ends after the colon and blank.
    EXPECT_EQ(CSqliteException(14).Message(), "SQLITE_CANTOPEN[14]: ");
    // A copy carries its own message.
    CSqliteException copy = CSqliteException(19, "UNIQUE constraint failed");
    const CSqliteException original(1, "other");
    copy = original;
    EXPECT_EQ(copy.Message(), "SQLITE_ERROR[1]: other");
}

class SqliteDbTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_machine.Host("C:\\BaseData"));
        ASSERT_TRUE(m_db.Open(kDatabase));
        m_db.QueryText("create table Examinee (No text primary key, Name text, Seat integer)");
        m_db.QueryText("insert into Examinee values ('11000001', '홍길동', 12)");
        m_db.QueryText("insert into Examinee values ('11000002', null, 13)");
        m_db.QueryText("insert into Examinee values ('21000003', '', 1.5)");
    }

    CSqliteDB m_db;
};

TEST_F(SqliteDbTest, TheDatabaseIsTheFileOnTheMachinesDrive) {
    m_db.Close();
    const std::string host = m_machine.Host(kDatabase);
    ASSERT_TRUE(std::filesystem::exists(host));
    sqlite3* direct = nullptr;
    ASSERT_EQ(sqlite3_open_v2(host.c_str(), &direct, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(direct, "select count(*) from Examinee", -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 3);
    sqlite3_finalize(statement);
    sqlite3_close(direct);
}

TEST_F(SqliteDbTest, QueryTextGivesColumnZeroOfTheFirstRowOrTheEmptyString) {
    struct Case {
        const char* statement;
        const char* text;
    };
    const Case cases[] = {
        // The lookup exactly as the installer words it, line feeds and blanks included.
        {"select Name \n       from Examinee        \n      where No = '11000001' \n", "홍길동"},
        {"select Name from Examinee where No = '99999999'", ""},  // no row
        {"select Name from Examinee where No = '11000002'", ""},  // null
        {"select Name from Examinee where No = '21000003'", ""},  // empty text
        {"select Seat from Examinee where No = '11000001'", "12"},
        {"select Seat from Examinee where No = '21000003'", "1.5"},
        {"select No from Examinee order by No desc", "21000003"},  // first row only
        {"pragma integrity_check;", "ok"},
        {"create table Other (x)", ""},  // no columns at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        EXPECT_EQ(m_db.QueryText(c.statement), c.text);
    }
}

TEST_F(SqliteDbTest, ChangesAreReportedOnlyWithAValue) {
    int changes = -1;
    EXPECT_EQ(m_db.QueryText("update Examinee set Seat = Seat + 1 where No like '1%'", &changes),
              "");
    EXPECT_EQ(changes, 0);  // no row, so no count: only a returned value carries one
    EXPECT_EQ(m_db.QueryText("select Seat from Examinee where No = '11000001'", &changes), "13");
    EXPECT_EQ(changes, 2);  // rows changed by the update before
    changes = -1;
    EXPECT_EQ(m_db.QueryText("select Name from Examinee where No = '11000002'", &changes), "");
    EXPECT_EQ(changes, 0);
}

TEST_F(SqliteDbTest, FailuresThrowWithTheCodeNameAndSqlitesMessage) {
    struct Case {
        const char* statement;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {"select Name from Examinees", 1, "SQLITE_ERROR[1]: no such table: Examinees"},
        {"selec 1", 1, "SQLITE_ERROR[1]: near \"selec\": syntax error"},
        // A step failure is known only by finalizing the statement.
        {"insert into Examinee values ('11000001', 'x', 1)", 19,
         "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: Examinee.No"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        const CSqliteException e = Thrown([&] { m_db.QueryText(c.statement); });
        EXPECT_EQ(e.Code(), c.code);
        EXPECT_EQ(e.Message(), c.message);
    }
    // The connection goes on working after each of them.
    EXPECT_EQ(m_db.QueryText("select count(*) from Examinee"), "3");
}

TEST_F(SqliteDbTest, TheExamineeTableMissingGivesTheKnownText) {
    CSqliteDB other;
    ASSERT_TRUE(other.Open("C:\\BaseData\\Empty.DBS"));
    const CSqliteException e = Thrown([&] {
        other.QueryText("select Name \n       from Examinee        \n      where No = '1' \n");
    });
    EXPECT_EQ(e.Code(), 1);
    EXPECT_EQ(e.Message(), "SQLITE_ERROR[1]: no such table: Examinee");
}

TEST_F(SqliteDbTest, WithoutAConnectionEveryQueryFailsWithTheLayersText) {
    CSqliteDB never;
    never.Close();  // nothing to close: nothing happens
    EXPECT_FALSE(never.IsOpen());
    m_db.Close();
    EXPECT_FALSE(m_db.IsOpen());
    m_db.Close();  // twice is harmless
    for (CSqliteDB* db : {&never, &m_db}) {
        const CSqliteException e = Thrown([&] { db->QueryText("select 1"); });
        EXPECT_EQ(e.Code(), kSqliteDbError);
        EXPECT_EQ(e.Message(), "SQLITEDB_ERROR[1000]: Database is not open");
        EXPECT_EQ(Thrown([&] { db->RunQuery("select 1"); }).Code(), kSqliteDbError);
    }
}

TEST_F(SqliteDbTest, AFileThatCannotBeOpenedKeepsItsHandleUntilClose) {
    CSqliteDB db;
    const CSqliteException e = Thrown([&] { db.Open("C:\\NoSuchFolder\\PData_1_3.DBS"); });
    EXPECT_EQ(e.Code(), 14);
    EXPECT_EQ(e.Message(), "SQLITE_CANTOPEN[14]: unable to open database file");
    EXPECT_TRUE(db.IsOpen());
    db.Close();
    EXPECT_FALSE(db.IsOpen());

    // A drive the machine lacks is refused the same way, and nothing reaches the host.
    const CSqliteException noDrive = Thrown([&] { db.Open("Q:\\PData_1_3.DBS"); });
    EXPECT_EQ(noDrive.Message(), "SQLITE_CANTOPEN[14]: unable to open database file");
    EXPECT_FALSE(std::filesystem::exists("Q:\\PData_1_3.DBS"));
    db.Close();
    EXPECT_FALSE(db.IsOpen());
}

TEST_F(SqliteDbTest, AFileThatIsNoDatabaseFailsWithAnUnnamedCode) {
    m_machine.WriteHostFile(m_machine.Host("C:\\BaseData\\PData_1_2.DBS"), std::string(4096, 'x'));
    CSqliteDB db;
    ASSERT_TRUE(db.Open("C:\\BaseData\\PData_1_2.DBS"));  // SQLite reads the file lazily
    const CSqliteException e = Thrown([&] { db.QueryText("pragma integrity_check;"); });
    EXPECT_EQ(e.Code(), 26);
    EXPECT_EQ(e.Message(), "UNKNOWN_ERROR[26]: file is not a database");
}

TEST_F(SqliteDbTest, ColumnTypesAndColumnErrors) {
    struct Case {
        const char* statement;
        int type;
    };
    const Case cases[] = {
        {"select Seat from Examinee where No = '11000001'", 1},
        {"select Seat from Examinee where No = '21000003'", 2},
        {"select Name from Examinee where No = '11000001'", 3},
        {"select x'00ff'", 4},
        {"select Name from Examinee where No = '11000002'", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        const CSqliteQuery query = m_db.RunQuery(c.statement);
        EXPECT_FALSE(query.EndOfData());
        EXPECT_EQ(query.ColumnType(0), c.type);
    }

    const CSqliteQuery noColumns = m_db.RunQuery("create table Other (x)");
    EXPECT_TRUE(noColumns.EndOfData());
    EXPECT_EQ(Thrown([&] { noColumns.ColumnType(0); }).Message(),
              "SQLITEDB_ERROR[1000]: Column index out of range");
    const CSqliteQuery oneColumn = m_db.RunQuery("select 1");
    EXPECT_EQ(Thrown([&] { oneColumn.ColumnType(1); }).Message(),
              "SQLITEDB_ERROR[1000]: Column index out of range");

    CSqliteQuery moved = m_db.RunQuery("select 1");
    const CSqliteQuery taker = std::move(moved);
    EXPECT_EQ(taker.ColumnText(0), "1");
    EXPECT_EQ(Thrown([&] { moved.ColumnType(0); }).Message(),  // NOLINT: use after move
              "SQLITEDB_ERROR[1000]: Query has no statement");
    EXPECT_EQ(Thrown([&] { CSqliteQuery().ColumnType(0); }).Message(),
              "SQLITEDB_ERROR[1000]: Query has no statement");
}

// A statement whose step failed, prepared on a connection of the test's own.
class FailedStatement {
public:
    explicit FailedStatement(const std::string& hostPath) {
        sqlite3_open(hostPath.c_str(), &m_db);
        // The legacy prepare, as the layer uses it: the step reports only the generic error.
        sqlite3_prepare(m_db, "insert into Examinee values ('11000001', 'x', 1)", -1, &m_statement,
                        nullptr);
        m_stepResult = sqlite3_step(m_statement);
    }
    ~FailedStatement() { sqlite3_close(m_db); }
    FailedStatement(const FailedStatement&) = delete;
    FailedStatement& operator=(const FailedStatement&) = delete;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    int m_stepResult = 0;
};

TEST_F(SqliteDbTest, FinalizeReportsTheStepsErrorAndTheDestructorSwallowsIt) {
    const std::string host = m_machine.Host(kDatabase);
    {
        FailedStatement failed(host);
        ASSERT_EQ(failed.m_stepResult, SQLITE_ERROR);
        CSqliteQuery query(failed.m_db, failed.m_statement, true, 0, true);
        const CSqliteException e = Thrown([&] { query.Finalize(); });
        EXPECT_EQ(e.Code(), 19);
        EXPECT_EQ(e.Message(), "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: Examinee.No");
        EXPECT_FALSE(query.HasStatement());
        query.Finalize();  // the statement is gone: nothing more to report
    }
    {
        FailedStatement failed(host);
        EXPECT_NO_THROW({ CSqliteQuery query(failed.m_db, failed.m_statement, true, 0, true); });
        // The statement was finalized: closing the connection now succeeds.
        EXPECT_EQ(sqlite3_close(failed.m_db), SQLITE_OK);
        failed.m_db = nullptr;
    }
    {
        // A statement the query does not own is left to its owner.
        FailedStatement failed(host);
        { CSqliteQuery query(failed.m_db, failed.m_statement, true, 0, false); }
        EXPECT_EQ(sqlite3_finalize(failed.m_statement), SQLITE_CONSTRAINT);
    }
}

TEST_F(SqliteDbTest, ASchemaChangeBetweenPrepareAndStepIsPreparedAgainWithoutARetry) {
    const std::string host = m_machine.Host(kDatabase);
    RecordingObserver observer;
    bool changed = false;
    observer.afterPrepare = [&](int) {
        if (changed) {
            return;
        }
        changed = true;
        // Another connection alters the schema after the layer prepared its statement.
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(host.c_str(), &other), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(other, "create table Other (x)", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(other);
    };
    EXPECT_EQ(m_db.QueryText("select Name from Examinee where No = '11000001'"), "홍길동");
    EXPECT_TRUE(changed);
    EXPECT_EQ(observer.prepares, (std::vector<int>{0, 0}));
    EXPECT_EQ(observer.steps, (std::vector<int>{SQLITE_ERROR, SQLITE_ROW}));
    EXPECT_TRUE(observer.retryWaits.empty());
}

TEST(WaitWithMessagesTest, WaitsOnTheTickCounterAndDispatchesMeanwhile) {
    CountingView::Install();
    for (uint32_t wait : {0u, 1u, 50u}) {
        SCOPED_TRACE(wait);
        const long before = CountingView::DispatchCount();
        const uint32_t start = platform::TickCount();
        WaitWithMessages(wait);
        EXPECT_GE(platform::TickCount() - start, wait);
        EXPECT_GE(CountingView::DispatchCount() - before, 1);
        if (wait >= 50) {
            EXPECT_GT(CountingView::DispatchCount() - before, 10);  // it polls, not sleeps
        }
    }
}

}  // namespace
