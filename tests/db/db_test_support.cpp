// Helpers of the database-layer tests.
#include "db_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace fs = std::filesystem;

namespace dbtest {

long CountingView::s_dispatches = 0;

void CountingView::Install() {
    ui::SetView(std::make_unique<CountingView>());
    s_dispatches = 0;
}

namespace {

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

bool WaitForFile(const fs::path& path) {
    for (int i = 0; i < 1000; ++i) {
        if (fs::exists(path)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

LockHolder::LockHolder(const std::string& databaseHostPath, const std::string& workFolder)
    : m_folder(workFolder) {
    fs::create_directories(m_folder);
    // The transaction is held until the release file appears (at most 30 s, so that a
    // crashed test leaves no process behind for long); ".system" marks the lock as taken.
    const std::string script =
        "cd " + Quoted(m_folder) +
        " && ( printf 'BEGIN EXCLUSIVE;\\n.system touch locked\\n'; i=0;"
        " while [ ! -e release ] && [ $i -lt 1500 ]; do sleep 0.02; i=$((i+1)); done;"
        " printf 'COMMIT;\\n' ) | sqlite3 -bail " +
        Quoted(databaseHostPath) + " > out 2>&1; touch done";
    const std::string command = "sh -c " + Quoted(script) + " &";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "cannot start the sqlite3 tool";
    }
}

LockHolder::~LockHolder() {
    if (!m_released) {
        Release();
    }
}

bool LockHolder::WaitUntilLocked() const {
    return WaitForFile(fs::path(m_folder) / "locked");
}

bool LockHolder::Release() {
    m_released = true;
    std::ofstream(fs::path(m_folder) / "release").put('\n');
    return WaitForFile(fs::path(m_folder) / "done");
}

}  // namespace dbtest
