// Busy and locked databases: another process (the sqlite3 tool) holds an exclusive lock
// while the layer waits inside SQLite through its busy handler, or, once the busy deadline
// has passed, retries 10 times 200 ms apart before it gives up with code 5.
#include "db/sqlite_db.h"
#include "db_test_support.h"
#include "platform/system.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

using dbtest::CountingView;
using dbtest::LockHolder;
using dbtest::RecordingObserver;

constexpr const char* kDatabase = "C:\\db\\busy.db";
constexpr const char* kQuery = "select x from T";

class SqliteBusyTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_machine.Host("C:\\db"));
        CSqliteDB db;
        db.Open(kDatabase);
        db.QueryText("create table T (x integer)");
        db.QueryText("insert into T values (7)");
    }

    std::string HostDatabase() const { return m_machine.Host(kDatabase); }
    std::string HolderFolder() const { return m_machine.Host("C:\\holder"); }
};

// Expects `call` to throw the busy exception the layer gives once it stops waiting.
void ExpectBusyException(const std::function<void()>& call) {
    try {
        call();
        ADD_FAILURE() << "no exception";
    } catch (const CSqliteException& e) {
        EXPECT_EQ(e.Code(), 5);
        EXPECT_EQ(e.Message(), "SQLITE_BUSY[5]: database is locked");
    }
}

TEST_F(SqliteBusyTest, BeforeTheDeadlineSqliteWaitsThroughTheBusyHandler) {
    CSqliteDB db;
    ASSERT_TRUE(db.Open(kDatabase));
    // Load the schema now, so that the lock meets the step and not the prepare.
    ASSERT_EQ(db.QueryText(kQuery), "7");

    LockHolder holder(HostDatabase(), HolderFolder());
    ASSERT_TRUE(holder.WaitUntilLocked());
    CountingView::Install();
    RecordingObserver observer;
    observer.afterBusyHandler = [&](bool) {
        if (observer.busyHandler.size() == 3) {
            EXPECT_TRUE(holder.Release());
        }
    };

    EXPECT_EQ(db.QueryText(kQuery), "7");
    EXPECT_EQ(observer.busyHandler, std::vector<bool>(3, true));
    EXPECT_EQ(observer.steps, std::vector<int>{100});
    EXPECT_TRUE(observer.retryWaits.empty());
    // The handler's waits keep the user interface alive.
    EXPECT_GT(CountingView::DispatchCount(), 1);
}

TEST_F(SqliteBusyTest, AfterTheDeadlineElevenStepsAndTenWaitsThenBusy) {
    CSqliteDB db;
    db.SetBusyTimeout(1);
    ASSERT_TRUE(db.Open(kDatabase));
    ASSERT_EQ(db.QueryText(kQuery), "7");

    LockHolder holder(HostDatabase(), HolderFolder());
    ASSERT_TRUE(holder.WaitUntilLocked());
    RecordingObserver observer;
    const uint32_t start = platform::TickCount();
    ExpectBusyException([&] { db.QueryText(kQuery); });
    const uint32_t elapsed = platform::TickCount() - start;

    EXPECT_EQ(observer.steps, std::vector<int>(11, 5));
    EXPECT_EQ(observer.prepares, std::vector<int>(11, 0));
    EXPECT_EQ(observer.retryWaits, std::vector<uint32_t>(10, CSqliteDB::kRetryWaitMs));
    EXPECT_GE(elapsed, 10 * CSqliteDB::kRetryWaitMs);
    // Until the deadline the handler waits; from then on it refuses every call at once,
    // one call per attempt, however many calls came before.
    const auto firstRefusal =
        std::find(observer.busyHandler.begin(), observer.busyHandler.end(), false);
    EXPECT_TRUE(std::all_of(observer.busyHandler.begin(), firstRefusal, [](bool w) { return w; }));
    EXPECT_EQ(observer.busyHandler.end() - firstRefusal, 11);
    EXPECT_TRUE(std::none_of(firstRefusal, observer.busyHandler.end(), [](bool w) { return w; }));

    // The connection is still usable once the other process lets go.
    ASSERT_TRUE(holder.Release());
    EXPECT_EQ(db.QueryText(kQuery), "7");
}

TEST_F(SqliteBusyTest, APrepareThatMeetsTheLockHasItsOwnRetries) {
    LockHolder holder(HostDatabase(), HolderFolder());
    ASSERT_TRUE(holder.WaitUntilLocked());
    CSqliteDB db;
    db.SetBusyTimeout(0);  // the deadline is the opening time: refused at once
    ASSERT_TRUE(db.Open(kDatabase));

    RecordingObserver observer;
    // A fresh connection must read the schema, which needs the lock the tool holds.
    ExpectBusyException([&] { db.QueryText(kQuery); });
    EXPECT_EQ(observer.prepares, std::vector<int>(11, 5));
    EXPECT_TRUE(observer.steps.empty());
    EXPECT_EQ(observer.retryWaits.size(), 10u);
    EXPECT_EQ(observer.busyHandler, std::vector<bool>(11, false));
}

TEST_F(SqliteBusyTest, CloseWhileAQueryLivesKeepsTheConnectionForALaterTry) {
    CSqliteDB db;
    ASSERT_TRUE(db.Open(kDatabase));
    RecordingObserver observer;
    {
        CSqliteQuery query = db.RunQuery(kQuery);
        db.Close();  // must not throw
        EXPECT_EQ(observer.closes, std::vector<int>(11, 5));
        EXPECT_EQ(observer.retryWaits.size(), 10u);
        ASSERT_TRUE(db.IsOpen());
        EXPECT_EQ(query.ColumnText(0), "7");
        EXPECT_EQ(db.QueryText("select count(*) from T"), "1");
    }
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(observer.closes.back(), 0);
}

}  // namespace
