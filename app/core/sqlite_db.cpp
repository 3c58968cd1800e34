#include "app/core/sqlite_db.h"

#include <cstdio>
#include <utility>

namespace qm {

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
    }
    return *this;
}

bool SqliteStatement::BindText(int index, std::string_view text) {
    return statement_ && sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                           SQLITE_TRANSIENT) == SQLITE_OK;
}

int SqliteStatement::Step() {
    return statement_ ? sqlite3_step(statement_) : SQLITE_MISUSE;
}

bool SqliteStatement::Run() {
    int rc;
    while ((rc = Step()) == SQLITE_ROW) {
    }
    return rc == SQLITE_DONE;
}

int SqliteStatement::ColumnCount() const {
    return statement_ ? sqlite3_column_count(statement_) : 0;
}

std::string SqliteStatement::ColumnName(int column) const {
    const char* name = statement_ ? sqlite3_column_name(statement_, column) : nullptr;
    return name ? name : "";
}

std::string SqliteStatement::ColumnText(int column) const {
    if (!statement_ || column < 0 || column >= ColumnCount()) return {};
    switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_FLOAT: {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.15g", sqlite3_column_double(statement_, column));
            return buffer;
        }
        default: {
            // Text and blobs byte for byte, integers as SQLite writes them.
            const void* bytes = sqlite3_column_blob(statement_, column);
            const int size = sqlite3_column_bytes(statement_, column);
            return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                         : std::string();
        }
    }
}

SqliteDb::SqliteDb(SqliteDb&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

SqliteDb& SqliteDb::operator=(SqliteDb&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(db_);
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

SqliteDb SqliteDb::Open(const std::string& file, int flags, int& code) {
    sqlite3* raw = nullptr;
    code = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    // A failed open may still hand out a connection, which must be closed all the same.
    SqliteDb db(raw);
    if (code != SQLITE_OK) return {};
    return db;
}

void SqliteDb::SetBusyTimeout(int milliseconds) {
    if (db_) sqlite3_busy_timeout(db_, milliseconds);
}

SqliteStatement SqliteDb::Prepare(std::string_view sql) {
    if (!db_) return {};
    sqlite3_stmt* raw = nullptr;
    const char* end = nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &raw, &end);
    SqliteStatement statement(raw);
    if (rc != SQLITE_OK || !statement) return {};
    for (const char* p = end; p && p < sql.data() + sql.size(); ++p)
        if (*p != ';' && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return {};
    return statement;
}

int SqliteDb::Execute(const char* sql) {
    return db_ ? sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) : SQLITE_MISUSE;
}

int SqliteDb::ErrorCode() const {
    return db_ ? sqlite3_errcode(db_) & 0xFF : SQLITE_MISUSE;
}

bool SqliteDb::ReadOnly() const {
    return db_ && sqlite3_db_readonly(db_, "main") == 1;
}

}  // namespace qm
