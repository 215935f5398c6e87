// Busy databases: another process (the sqlite3 tool) holds an exclusive lock while the
// layer waits inside SQLite through its busy handler, or, once the busy deadline has
// passed, retries 10 times 200 ms apart before it gives up with code 5.
#include "db/sqlite_db.h"
#include "db_test_support.h"
#include "platform/system.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using dbtest::LockHolder;
using dbtest::RecordingObserver;

constexpr const char* kDatabase = "C:\\db\\busy.db";
constexpr const char* kQuery = "select x from T";
constexpr const char* kBusy = "SQLITE_BUSY[5]: database is locked";

class SqliteBusyTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_machine.Host("C:\\db"));
        CSqliteDB db;
        db.Open(kDatabase);
        db.QueryText("create table T (x)");
        db.QueryText("insert into T values (7)");
    }
    std::string Host(const char* path) const { return m_machine.Host(path); }

    // Opens with the busy timeout and reads once, so that the schema is loaded and the
    // lock meets the step rather than the prepare.
    void OpenAndRead(CSqliteDB& db, int busyTimeout) const {
        db.SetBusyTimeout(busyTimeout);
        ASSERT_TRUE(db.Open(kDatabase));
        ASSERT_EQ(db.QueryText(kQuery), "7");
    }
    // The message of the exception `call` throws.
    static std::string Thrown(const std::function<void()>& call) {
        try {
            call();
        } catch (const CSqliteException& e) {
            return e.Message();
        }
        return "none";
    }
};

TEST_F(SqliteBusyTest, BeforeTheDeadlineSqliteWaitsThroughTheBusyHandler) {
    CSqliteDB db;
    OpenAndRead(db, CSqliteDB::kDefaultBusyTimeout);
    LockHolder holder(Host(kDatabase), Host("C:\\holder"));
    ASSERT_TRUE(holder.Locked());
    dbtest::CountingPump::Install();
    RecordingObserver observer;
    observer.afterBusyHandler = [&] {
        if (observer.busyHandler.size() == 3) {
            EXPECT_TRUE(holder.Release());
        }
    };
    EXPECT_EQ(db.QueryText(kQuery), "7");
    EXPECT_EQ(observer.busyHandler, std::vector<bool>(3, true));
    EXPECT_EQ(observer.steps, std::vector<int>{100});
    EXPECT_TRUE(observer.retryWaits.empty());
    EXPECT_GT(dbtest::CountingPump::dispatches, 3);  // the waits kept the interface alive
}

TEST_F(SqliteBusyTest, AfterTheDeadlineElevenStepsAndTenWaitsThenBusy) {
    CSqliteDB db;
    OpenAndRead(db, 1);  // the deadline passes within the first second of waiting
    LockHolder holder(Host(kDatabase), Host("C:\\holder"));
    ASSERT_TRUE(holder.Locked());
    RecordingObserver observer;
    const uint32_t start = platform::TickCount();
    EXPECT_EQ(Thrown([&] { db.QueryText(kQuery); }), kBusy);
    EXPECT_GE(platform::TickCount() - start, 10 * CSqliteDB::kRetryWaitMs);
    EXPECT_EQ(observer.steps, std::vector<int>(11, 5));
    EXPECT_EQ(observer.retryWaits, std::vector<uint32_t>(10, CSqliteDB::kRetryWaitMs));
    // The handler waits until the deadline, then refuses every call at once: one refused
    // call per attempt, however many calls came before.
    const auto& calls = observer.busyHandler;
    const auto refused = std::find(calls.begin(), calls.end(), false);
    EXPECT_EQ(std::count(refused, calls.end(), false), 11);
    EXPECT_EQ(calls.end() - refused, 11);

    ASSERT_TRUE(holder.Release());
    EXPECT_EQ(db.QueryText(kQuery), "7");  // the connection is fine once the lock is gone
}

TEST_F(SqliteBusyTest, APrepareThatMeetsTheLockHasItsOwnRetries) {
    LockHolder holder(Host(kDatabase), Host("C:\\holder"));
    ASSERT_TRUE(holder.Locked());
    CSqliteDB db;
    db.SetBusyTimeout(0);  // deadline at the opening second: refused at once
    ASSERT_TRUE(db.Open(kDatabase));
    RecordingObserver observer;
    // A fresh connection must read the schema, which needs the lock the tool holds.
    EXPECT_EQ(Thrown([&] { db.QueryText(kQuery); }), kBusy);
    EXPECT_EQ(observer.prepares, std::vector<int>(11, 5));
    EXPECT_TRUE(observer.steps.empty());
    EXPECT_EQ(observer.retryWaits.size(), 10u);
}

TEST_F(SqliteBusyTest, CloseWhileAQueryLivesKeepsTheConnectionForALaterTry) {
    CSqliteDB db;
    OpenAndRead(db, CSqliteDB::kDefaultBusyTimeout);
    RecordingObserver observer;
    {
        CSqliteQuery query = db.RunQuery(kQuery);
        db.Close();  // busy: an unfinalized statement
        EXPECT_EQ(observer.closes, std::vector<int>(11, 5));
        EXPECT_EQ(observer.retryWaits.size(), 10u);
        ASSERT_TRUE(db.IsOpen());
        EXPECT_EQ(query.ColumnText(0), "7");
    }
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(observer.closes.back(), 0);
}

}  // namespace
