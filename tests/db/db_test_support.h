// Helpers of the database-layer tests: an observer that records every attempt and wait,
// a message pump that counts its calls, and a second process (the sqlite3 command-line
// tool) that holds an exclusive lock on a database until it is told to let go.
#pragma once

#include "db/sqlite_db.h"

#include <functional>
#include <string>
#include <vector>

namespace dbtest {

/// Records what the layer reports while it exists (it installs itself).
struct RecordingObserver : ISqliteObserver {
    RecordingObserver() { SetSqliteObserver(this); }
    ~RecordingObserver() override { SetSqliteObserver(nullptr); }
    void OnPrepare(int result) override {
        prepares.push_back(result);
        if (afterPrepare) {
            afterPrepare();
        }
    }
    void OnStep(int result) override { steps.push_back(result); }
    void OnClose(int result) override { closes.push_back(result); }
    void OnRetryWait(uint32_t milliseconds) override { retryWaits.push_back(milliseconds); }
    void OnBusyHandler(bool waits) override {
        busyHandler.push_back(waits);
        if (afterBusyHandler) {
            afterBusyHandler();
        }
    }
    std::vector<int> prepares, steps, closes;  // results of each SQLite call
    std::vector<uint32_t> retryWaits;          // one per wait of the retry rule
    std::vector<bool> busyHandler;             // one per handler call: waited or refused
    std::function<void()> afterPrepare, afterBusyHandler;  // optional test actions
};

/// A message pump for WaitWithMessages that counts its calls.
struct CountingPump {
    /// Sets the counting pump as the layer's pump and resets the count.
    static void Install();
    static long dispatches;
};

/// The sqlite3 tool holding an exclusive transaction on a database file (host path) in
/// another process until Release or destruction.
class LockHolder {
public:
    /// Starts the tool and waits until it holds the lock; `folder` gets its marker files.
    LockHolder(const std::string& databaseHostPath, const std::string& folder);
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    /// True once the tool holds the lock.
    bool Locked() const { return m_locked; }
    /// Tells the tool to commit and waits until it has ended; true when it did.
    bool Release();

private:
    std::string m_folder;  // marker files: locked, release, done
    bool m_locked = false;
    bool m_released = false;
};

}  // namespace dbtest
