#pragma once
// Owners of an SQLite connection and of a prepared statement: each is given back to SQLite
// when its owner goes, on every path. An empty owner is safe to call: it does nothing and
// answers with an error code or "".

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace qm {

class SqliteStatement {
  public:
    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}
    ~SqliteStatement() { sqlite3_finalize(statement_); }
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    explicit operator bool() const { return statement_ != nullptr; }
    sqlite3_stmt* get() const { return statement_; }

    // Binds `text` to the parameter `index` (from 1), copied; false when it cannot.
    bool BindText(int index, std::string_view text);
    // One step: SQLITE_ROW, SQLITE_DONE, or the error (SQLITE_MISUSE on an empty owner).
    int Step();
    // Runs the statement to its end; true when it got there.
    bool Run();

    int ColumnCount() const;
    // The column's name as the statement gives it; "" out of range.
    std::string ColumnName(int column) const;
    // The current row's value as text: "" for NULL, a real number in at most 15 digits.
    std::string ColumnText(int column) const;

  private:
    sqlite3_stmt* statement_ = nullptr;
};

class SqliteDb {
  public:
    SqliteDb() = default;
    ~SqliteDb() { sqlite3_close_v2(db_); }
    SqliteDb(SqliteDb&& other) noexcept;
    SqliteDb& operator=(SqliteDb&& other) noexcept;
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // Opens the database `file` with `flags` (SQLITE_OPEN_READWRITE or SQLITE_OPEN_READONLY).
    // Empty when it cannot be opened; `code` is SQLite's answer. A missing file is made only
    // when `flags` ask for it (SQLITE_OPEN_CREATE).
    static SqliteDb Open(const std::string& file, int flags, int& code);

    explicit operator bool() const { return db_ != nullptr; }
    sqlite3* get() const { return db_; }

    // How long a statement waits for another program's lock before it gives up.
    void SetBusyTimeout(int milliseconds);
    // One statement; empty when it does not compile or when more than blanks and ";" follow
    // it (text after it would be silently dropped otherwise).
    SqliteStatement Prepare(std::string_view sql);
    // Runs `sql`, one or more statements without parameters or rows; SQLite's result code.
    int Execute(const char* sql);
    // The primary result code of the last call that failed (SQLITE_BUSY, SQLITE_CORRUPT, ...).
    int ErrorCode() const;
    // Whether the file was opened read-only (a file or folder that cannot be written).
    bool ReadOnly() const;

  private:
    explicit SqliteDb(sqlite3* db) : db_(db) {}
    sqlite3* db_ = nullptr;
};

}  // namespace qm
