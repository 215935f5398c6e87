// Helpers of the database-layer tests: an observer that records every attempt and wait,
// a view that counts event dispatches, and a second process (the sqlite3 command-line
// tool) that holds an exclusive lock on a database until it is told to let go.
#pragma once

#include "db/sqlite_db.h"
#include "ui/view.h"

#include <functional>
#include <string>
#include <vector>

namespace dbtest {

/// Records what the layer reports while it is installed (it installs itself).
class RecordingObserver : public ISqliteObserver {
public:
    RecordingObserver() { SetSqliteObserver(this); }
    ~RecordingObserver() override { SetSqliteObserver(nullptr); }
    RecordingObserver(const RecordingObserver&) = delete;
    RecordingObserver& operator=(const RecordingObserver&) = delete;

    void OnPrepare(int result) override {
        prepares.push_back(result);
        if (afterPrepare) {
            afterPrepare(result);
        }
    }
    void OnStep(int result) override { steps.push_back(result); }
    void OnClose(int result) override { closes.push_back(result); }
    void OnRetryWait(uint32_t milliseconds) override { retryWaits.push_back(milliseconds); }
    void OnBusyHandler(bool waits) override {
        busyHandler.push_back(waits);
        if (afterBusyHandler) {
            afterBusyHandler(waits);
        }
    }

    std::vector<int> prepares;              // results of sqlite3_prepare16
    std::vector<int> steps;                 // results of sqlite3_step
    std::vector<int> closes;                // results of sqlite3_close
    std::vector<uint32_t> retryWaits;       // one entry per wait of the retry rule
    std::vector<bool> busyHandler;          // one entry per busy-handler call: waited or refused
    std::function<void(int)> afterPrepare;  // optional action after each prepare
    std::function<void(bool)> afterBusyHandler;  // optional action after each handler call
};

/// A view that counts DispatchPendingEvents calls in DispatchCount().
class CountingView : public ui::IView {
public:
    int ShowMessageBox(const std::string&, const std::string&, unsigned) override { return 0; }
    void DispatchPendingEvents() override { ++s_dispatches; }
    void ShowWaitCursor(bool) override {}
    const char* Name() const override { return "counting"; }
    /// Installs a counting view as the process's view and resets the count.
    static void Install();
    static long DispatchCount() { return s_dispatches; }

private:
    static long s_dispatches;
};

/// The sqlite3 tool holding an exclusive transaction on a database file (host path) in
/// another process, from WaitUntilLocked until Release (or the destructor).
class LockHolder {
public:
    /// Starts the tool; `workFolder` (host path) receives its marker files.
    LockHolder(const std::string& databaseHostPath, const std::string& workFolder);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    /// True once the tool holds the lock (waits at most 10 s).
    bool WaitUntilLocked() const;
    /// Tells the tool to commit and end; waits at most 10 s for it. True when it ended.
    bool Release();

private:
    std::string m_folder;  // marker files: locked, release, done, out
    bool m_released = false;
};

}  // namespace dbtest
