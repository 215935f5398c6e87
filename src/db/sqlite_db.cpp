// The database layer over SQLite's UTF-16 interface: connection, query, exception, the
// busy handler and the retry rule for busy and locked results.
#include "db/sqlite_db.h"

#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

#include <sqlite3.h>

#include <array>
#include <utility>

namespace {

ISqliteObserver* g_observer = nullptr;  // not owned; see SetSqliteObserver
WaitMessagePump g_waitPump = nullptr;   // set by the user interface above, or none

// SQLite hands out UTF-16 in the machine's byte order, which is what char16_t holds.
std::string FromSqliteUtf16(const void* text) {
    if (text == nullptr) {
        return {};
    }
    return platform::Utf16ToUtf8(std::u16string_view(static_cast<const char16_t*>(text)));
}

bool IsBusyOrLocked(int result) {
    return result == SQLITE_BUSY || result == SQLITE_LOCKED;
}

// One wait of the retry rule, reported to the observer first.
void RetryWait() {
    if (g_observer != nullptr) {
        g_observer->OnRetryWait(CSqliteDB::kRetryWaitMs);
    }
    WaitWithMessages(CSqliteDB::kRetryWaitMs);
}

}  // namespace

const char* SqliteResultName(int code) {
    static constexpr std::array<const char*, 26> kNames = {
        "SQLITE_OK",       "SQLITE_ERROR",     "SQLITE_INTERNAL", "SQLITE_PERM",
        "SQLITE_ABORT",    "SQLITE_BUSY",      "SQLITE_LOCKED",   "SQLITE_NOMEM",
        "SQLITE_READONLY", "SQLITE_INTERRUPT", "SQLITE_IOERR",    "SQLITE_CORRUPT",
        "SQLITE_NOTFOUND", "SQLITE_FULL",      "SQLITE_CANTOPEN", "SQLITE_PROTOCOL",
        "SQLITE_EMPTY",    "SQLITE_SCHEMA",    "SQLITE_TOOBIG",   "SQLITE_CONSTRAINT",
        "SQLITE_MISMATCH", "SQLITE_MISUSE",    "SQLITE_NOLFS",    "SQLITE_AUTH",
        "SQLITE_FORMAT",   "SQLITE_RANGE",
    };
    if (code >= 0 && code < static_cast<int>(kNames.size())) {
        return kNames[static_cast<size_t>(code)];
    }
    switch (code) {
        case 100:
            return "SQLITE_ROW";
        case 101:
            return "SQLITE_DONE";
        case kSqliteDbError:
            return "SQLITEDB_ERROR";
        default:
            return "UNKNOWN_ERROR";
    }
}

CSqliteException::CSqliteException(int code, std::string_view text) : m_code(code) {
    m_message = SqliteResultName(code);
    m_message += '[';
    m_message += std::to_string(code);
    m_message += "]: ";
    m_message += text;
}

// ---------------------------------------------------------------------------------------
// CSqliteQuery

CSqliteQuery::CSqliteQuery(sqlite3* db, sqlite3_stmt* statement, bool endOfData, int columnCount,
                           bool ownsStatement)
    : m_db(db),
      m_statement(statement),
      m_endOfData(endOfData),
      m_columnCount(columnCount),
      m_ownsStatement(ownsStatement) {}

CSqliteQuery::~CSqliteQuery() {
    try {
        Finalize();
    } catch (const CSqliteException&) {
        // The statement is gone either way; its error has nobody left to tell.
    }
}

CSqliteQuery::CSqliteQuery(CSqliteQuery&& other) noexcept
    : m_db(other.m_db),
      m_statement(std::exchange(other.m_statement, nullptr)),
      m_endOfData(other.m_endOfData),
      m_columnCount(other.m_columnCount),
      m_ownsStatement(std::exchange(other.m_ownsStatement, false)) {}

CSqliteQuery& CSqliteQuery::operator=(CSqliteQuery&& other) noexcept {
    if (this != &other) {
        try {
            Finalize();
        } catch (const CSqliteException&) {
            // As in the destructor: the old statement is released, its error dropped.
        }
        m_db = other.m_db;
        m_statement = std::exchange(other.m_statement, nullptr);
        m_endOfData = other.m_endOfData;
        m_columnCount = other.m_columnCount;
        m_ownsStatement = std::exchange(other.m_ownsStatement, false);
    }
    return *this;
}

void CSqliteQuery::CheckColumn(int column) const {
    if (m_statement == nullptr) {
        throw CSqliteException(kSqliteDbError, "Query has no statement");
    }
    if (column < 0 || column >= m_columnCount) {
        throw CSqliteException(kSqliteDbError, "Column index out of range");
    }
}

int CSqliteQuery::ColumnType(int column) const {
    CheckColumn(column);
    return sqlite3_column_type(m_statement, column);
}

std::string CSqliteQuery::ColumnText(int column) const {
    CheckColumn(column);
    return FromSqliteUtf16(sqlite3_column_text16(m_statement, column));
}

void CSqliteQuery::Finalize() {
    if (m_statement == nullptr || !m_ownsStatement) {
        return;
    }
    const int result = sqlite3_finalize(std::exchange(m_statement, nullptr));
    if (result != SQLITE_OK) {
        throw CSqliteException(result, FromSqliteUtf16(sqlite3_errmsg16(m_db)));
    }
}

// ---------------------------------------------------------------------------------------
// CSqliteDB

CSqliteDB::~CSqliteDB() {
    Close();
}

void CSqliteDB::ThrowLibraryError(int code) const {
    throw CSqliteException(code, FromSqliteUtf16(sqlite3_errmsg16(m_db)));
}

bool CSqliteDB::Open(const std::string& path) {
    return OpenFile(path, false);
}

bool CSqliteDB::OpenReadOnly(const std::string& path) {
    return OpenFile(path, true);
}

bool CSqliteDB::OpenFile(const std::string& path, bool readOnly) {
    Close();
    // SQLite opens the file itself, so it is handed the path the platform maps the
    // Windows path to (the same path on Windows). A path on no drive of the machine is
    // refused as SQLite refuses a file it cannot open; it must never reach SQLite as it
    // is, which would make a file of that odd name in the host's working folder.
    std::string libraryPath;
    if (!platform::LibraryFilePath(path, libraryPath)) {
        throw CSqliteException(SQLITE_CANTOPEN, "unable to open database file");
    }
    int result = SQLITE_OK;
    if (readOnly) {
        // SQLite has no UTF-16 form of the open that takes flags; its UTF-8 form takes the
        // same path on every platform.
        result = sqlite3_open_v2(libraryPath.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr);
    } else {
        const std::u16string widePath = platform::Utf8ToUtf16(libraryPath);
        result = sqlite3_open16(widePath.c_str(), &m_db);
    }
    if (result != SQLITE_OK) {
        // The handle SQLite made stays stored: it carries the message now, and the
        // caller's Close releases it.
        ThrowLibraryError(result);
    }
    m_busyDeadline = platform::CurrentUnixTime() + m_busyTimeout;
    sqlite3_busy_handler(m_db, &CSqliteDB::BusyHandler, &m_busyDeadline);
    return true;
}

int CSqliteDB::BusyHandler(void* deadline, int /*calls*/) {
    // Only the clock decides: once the deadline has passed, every call refuses at once,
    // however many calls came before.
    if (platform::CurrentUnixTime() >= *static_cast<const int64_t*>(deadline)) {
        if (g_observer != nullptr) {
            g_observer->OnBusyHandler(false);
        }
        return 0;
    }
    if (g_observer != nullptr) {
        g_observer->OnBusyHandler(true);
    }
    WaitWithMessages(kBusyWaitMs);
    return 1;
}

void CSqliteDB::Close() noexcept {
    if (m_db == nullptr) {
        return;
    }
    int retriesLeft = kRetries;
    for (;;) {
        const int result = sqlite3_close(m_db);
        if (g_observer != nullptr) {
            g_observer->OnClose(result);
        }
        if (result == SQLITE_OK) {
            m_db = nullptr;
            return;
        }
        if (!IsBusyOrLocked(result) || retriesLeft == 0) {
            return;  // still open; a later Close tries again
        }
        --retriesLeft;
        RetryWait();
    }
}

sqlite3_stmt* CSqliteDB::Prepare(const std::u16string& statement) {
    if (m_db == nullptr) {
        throw CSqliteException(kSqliteDbError, "Database is not open");
    }
    int retriesLeft = kRetries;
    for (;;) {
        sqlite3_stmt* prepared = nullptr;
        // The legacy form on purpose: a failed step then reports the generic error and
        // finalizing tells the real result, including a schema change.
        const int result = sqlite3_prepare16(m_db, statement.c_str(), -1, &prepared, nullptr);
        if (g_observer != nullptr) {
            g_observer->OnPrepare(result);
        }
        if (result == SQLITE_OK) {
            return prepared;
        }
        if (prepared != nullptr) {
            sqlite3_finalize(prepared);
        }
        if (!IsBusyOrLocked(result) || retriesLeft == 0) {
            ThrowLibraryError(result);
        }
        --retriesLeft;
        RetryWait();
    }
}

CSqliteQuery CSqliteDB::RunQuery(const std::string& statement) {
    if (m_db == nullptr) {
        throw CSqliteException(kSqliteDbError, "Database is not open");
    }
    const std::u16string wideStatement = platform::Utf8ToUtf16(statement);
    int retriesLeft = kRetries;
    for (;;) {
        sqlite3_stmt* prepared = Prepare(wideStatement);
        const int result = sqlite3_step(prepared);
        if (g_observer != nullptr) {
            g_observer->OnStep(result);
        }
        if (result == SQLITE_ROW || result == SQLITE_DONE) {
            return CSqliteQuery(m_db, prepared, result == SQLITE_DONE,
                                sqlite3_column_count(prepared), true);
        }
        if (IsBusyOrLocked(result)) {
            sqlite3_finalize(prepared);
            if (retriesLeft == 0) {
                ThrowLibraryError(result);
            }
            --retriesLeft;
            RetryWait();
            continue;
        }
        const int finalResult = sqlite3_finalize(prepared);
        if (finalResult == SQLITE_SCHEMA) {
            continue;  // prepared against the old schema; not a retry
        }
        ThrowLibraryError(finalResult);
    }
}

std::string CSqliteDB::QueryText(const std::string& statement, int* changes) {
    CSqliteQuery query = RunQuery(statement);
    if (changes != nullptr) {
        *changes = 0;
    }
    if (!query.HasStatement()) {
        throw CSqliteException(kSqliteDbError, "Query has no statement");
    }
    if (query.EndOfData() || query.ColumnCount() < 1) {
        return {};
    }
    if (query.ColumnType(0) == SQLITE_NULL) {
        return {};
    }
    if (changes != nullptr) {
        *changes = sqlite3_changes(m_db);
    }
    // The query's destructor finalizes the statement after the copy and swallows a
    // finalize error.
    return query.ColumnText(0);
}

// ---------------------------------------------------------------------------------------
// Waiting and observing

void SetWaitMessagePump(WaitMessagePump pump) {
    g_waitPump = pump;
}

void WaitWithMessages(uint32_t milliseconds) {
    // Unsigned difference: correct across the tick counter's wrap at 2^32.
    const uint32_t start = platform::TickCount();
    do {
        if (g_waitPump != nullptr) {
            g_waitPump();
        }
    } while (platform::TickCount() - start < milliseconds);
}

void SetSqliteObserver(ISqliteObserver* observer) {
    g_observer = observer;
}
