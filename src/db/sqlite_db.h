// The database layer: one open SQLite connection (CSqliteDB), the first row of one executed
// statement (CSqliteQuery) and the layer's one error type (CSqliteException). Texts at this
// interface are UTF-8; the layer speaks to SQLite through its UTF-16 entry points only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

/// Result code of the layer's own failures (named "SQLITEDB_ERROR").
inline constexpr int kSqliteDbError = 1000;

/// The name of a result code as the exception messages carry it: "SQLITE_OK" to
/// "SQLITE_RANGE" for 0 to 25, "SQLITE_ROW", "SQLITE_DONE", "SQLITEDB_ERROR" for 1000 and
/// "UNKNOWN_ERROR" for every other value (26 included). Never null.
const char* SqliteResultName(int code);

/// The layer's only error type; thrown by value, caught by reference.
class CSqliteException {
public:
    /// The message is "%s[%d]: %s" with the code's name, the code and `text`
    /// (for example "SQLITE_ERROR[1]: no such table: Examinee").
    explicit CSqliteException(int code, std::string_view text = {});
    virtual ~CSqliteException() = default;
    CSqliteException(const CSqliteException&) = default;
    CSqliteException& operator=(const CSqliteException&) = default;

    /// The SQLite result code, or kSqliteDbError for a failure of the layer itself.
    int Code() const { return m_code; }
    /// The composed message (UTF-8).
    const std::string& Message() const { return m_message; }

private:
    int m_code;             // result code
    std::string m_message;  // composed message
};

/// The result of one executed statement, positioned on its first row (or at end of data).
/// Destroying it finalizes the statement it owns; a finalize error is then swallowed.
class CSqliteQuery {
public:
    CSqliteQuery() = default;
    CSqliteQuery(sqlite3* db, sqlite3_stmt* statement, bool endOfData, int columnCount,
                 bool ownsStatement);
    virtual ~CSqliteQuery();
    CSqliteQuery(const CSqliteQuery&) = delete;
    CSqliteQuery& operator=(const CSqliteQuery&) = delete;
    CSqliteQuery(CSqliteQuery&& other) noexcept;
    CSqliteQuery& operator=(CSqliteQuery&& other) noexcept;

    /// The SQLite type code of a column of the current row (1 integer, 2 float, 3 text,
    /// 4 blob, 5 null). Throws CSqliteException 1000 "Query has no statement" without a
    /// statement, 1000 "Column index out of range" for a column the result lacks.
    int ColumnType(int column = 0) const;

    /// The text of a column of the current row; empty for null. Same errors as ColumnType.
    std::string ColumnText(int column = 0) const;

    /// Finalizes an owned statement and forgets it. Throws CSqliteException with SQLite's
    /// result and the connection's message when finalizing reports an error (the result of
    /// the statement's last step, such as 19 for a failed constraint).
    void Finalize();

    bool HasStatement() const { return m_statement != nullptr; }
    /// True when the statement produced no row.
    bool EndOfData() const { return m_endOfData; }
    int ColumnCount() const { return m_columnCount; }

private:
    void CheckColumn(int column) const;

    sqlite3* m_db = nullptr;              // connection that made it; not owned
    sqlite3_stmt* m_statement = nullptr;  // prepared statement, or null
    bool m_endOfData = true;              // true when the statement produced no row
    int m_columnCount = 0;                // number of result columns
    bool m_ownsStatement = false;         // only an owned statement is finalized here
};

/// One connection to a database file. Busy and locked results are waited out: inside
/// SQLite through a busy handler until the busy deadline, and by the layer's retry rule
/// (10 retries, 200 ms apart, counted per call); both waits keep the user interface alive.
class CSqliteDB {
public:
    /// Seconds added to the opening time to form the busy deadline. The register is asked
    /// while an examinee waits at the dialog: a database that another program keeps locked
    /// must give way within a minute (then the lookup answers "pass"), not after the 60000
    /// seconds, nearly seventeen hours, that the figure 60000 would mean in seconds.
    static constexpr int kDefaultBusyTimeout = 60;
    /// Retries of one Prepare, RunQuery or Close call on a busy or locked result.
    static constexpr int kRetries = 10;
    /// Wait between two attempts of the retry rule.
    static constexpr uint32_t kRetryWaitMs = 200;
    /// Wait of one busy-handler call before SQLite tries again.
    static constexpr uint32_t kBusyWaitMs = 100;

    CSqliteDB() = default;
    /// Closes the connection (see Close).
    virtual ~CSqliteDB();
    CSqliteDB(const CSqliteDB&) = delete;
    CSqliteDB& operator=(const CSqliteDB&) = delete;

    /// Opens or creates the database file at a Windows path, read-write, and installs the
    /// busy handler. Returns true. Throws CSqliteException with SQLite's result and message
    /// when the file cannot be opened; the connection SQLite made is kept anyway, so that
    /// the caller's Close releases it. An open connection is closed first.
    bool Open(const std::string& path);

    /// Opens an existing database file at a Windows path for reading only, as Open does
    /// otherwise: the file is never created, changed or journalled, so a package can be
    /// examined on write-protected media without a trace. Throws as Open (SQLITE_CANTOPEN
    /// for a missing file).
    bool OpenReadOnly(const std::string& path);

    /// Closes the connection if there is one; never throws. When SQLite still reports it
    /// busy after the retries (a statement is alive, for instance), the connection stays
    /// open and a later Close tries again.
    void Close() noexcept;

    /// True while a connection is held (also after a failed Open, until Close).
    bool IsOpen() const { return m_db != nullptr; }

    /// Seconds of the busy timeout used by the next Open (default kDefaultBusyTimeout).
    void SetBusyTimeout(int seconds) { m_busyTimeout = seconds; }
    int BusyTimeout() const { return m_busyTimeout; }

    /// Prepares and steps one statement; the query is on its first row or at end of data.
    /// Throws CSqliteException: 1000 "Database is not open"; SQLite's result and message
    /// for a failed prepare or step (5 or 6 once the retries are spent); a statement whose
    /// schema changed meanwhile is prepared again without using a retry.
    CSqliteQuery RunQuery(const std::string& statement);

    /// The text of column 0 of the first row, or the empty string when there is no row,
    /// no column or a null value. `changes`, when given, receives 0, or the connection's
    /// change count when a value is returned. Throws as RunQuery does; a failure to
    /// finalize the statement afterwards is swallowed.
    std::string QueryText(const std::string& statement, int* changes = nullptr);

private:
    // Open and OpenReadOnly.
    bool OpenFile(const std::string& path, bool readOnly);
    // Prepares one statement with the retry rule; throws as RunQuery does.
    sqlite3_stmt* Prepare(const std::u16string& statement);
    // Throws SQLite's result `code` with the connection's last message.
    [[noreturn]] void ThrowLibraryError(int code) const;
    // Called by SQLite while the database is busy; `deadline` points at m_busyDeadline.
    static int BusyHandler(void* deadline, int calls);

    sqlite3* m_db = nullptr;                      // owned connection, or null while closed
    int32_t m_busyTimeout = kDefaultBusyTimeout;  // seconds
    int64_t m_busyDeadline = 0;                   // calendar seconds; read by BusyHandler
};

/// Sets the function that WaitWithMessages calls to handle the pending user-interface
/// events; the layer above sets it at start-up. Null (the default) dispatches nothing.
using WaitMessagePump = void (*)();
void SetWaitMessagePump(WaitMessagePump pump);

/// Returns after at least `milliseconds` on the system tick counter, calling the message
/// pump all the while (it polls without sleeping).
void WaitWithMessages(uint32_t milliseconds);

/// What the layer reports of its calls into SQLite and of its waits, so that tests and
/// diagnostics can count attempts. Nothing is reported while no observer is installed.
class ISqliteObserver {
public:
    virtual ~ISqliteObserver() = default;
    /// After each sqlite3_prepare16, sqlite3_step and sqlite3_close, with its result.
    virtual void OnPrepare(int /*result*/) {}
    virtual void OnStep(int /*result*/) {}
    virtual void OnClose(int /*result*/) {}
    /// Before each wait of the retry rule.
    virtual void OnRetryWait(uint32_t /*milliseconds*/) {}
    /// Each call of the busy handler: `waits` is true when it waits and lets SQLite try
    /// again, false when the deadline has passed and it refuses.
    virtual void OnBusyHandler(bool /*waits*/) {}
};

/// Installs the observer (not owned; null removes it). Single-threaded, like the layer.
void SetSqliteObserver(ISqliteObserver* observer);
