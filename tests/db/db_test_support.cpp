// Helpers of the database-layer tests.
#include "db_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace dbtest {

long CountingPump::dispatches = 0;

void CountingPump::Install() {
    SetWaitMessagePump([] { ++dispatches; });
    dispatches = 0;
}

namespace {

bool WaitForFile(const fs::path& path) {
    for (int i = 0; i < 1000 && !fs::exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return fs::exists(path);
}

}  // namespace

LockHolder::LockHolder(const std::string& databaseHostPath, const std::string& folder)
    : m_folder(folder) {
    fs::create_directories(m_folder);
    // ".system" marks the lock as taken; the transaction lasts until the release file
    // appears, at most 30 s, so that a crashed test leaves nothing behind for long.
    std::ofstream(fs::path(m_folder) / "holder.sh")
        << "cd \"$(dirname \"$0\")\"\n"
        << "( printf 'BEGIN EXCLUSIVE;\\n.system touch locked\\n'; i=0\n"
        << "  while [ ! -e release ] && [ $i -lt 1500 ]; do sleep 0.02; i=$((i+1)); done\n"
        << "  printf 'COMMIT;\\n' ) | sqlite3 -bail \"$1\" >out 2>&1\n"
        << "touch done\n";
    const std::string command = "sh '" + m_folder + "/holder.sh' '" + databaseHostPath + "' &";
    m_locked = std::system(command.c_str()) == 0 && WaitForFile(fs::path(m_folder) / "locked");
}

bool LockHolder::Release() {
    if (!m_released) {
        m_released = true;
        std::ofstream(fs::path(m_folder) / "release").put('\n');
    }
    return WaitForFile(fs::path(m_folder) / "done");
}

}  // namespace dbtest
