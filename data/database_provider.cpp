#include <sqlite3.h>

#include <cstdio>
#include <map>

#include "common/fs.h"
#include "data/names.h"
#include "data/providers.h"

namespace qm::data {
namespace {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::shared_ptr<sqlite3>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// A writer waiting for another program's lock gives up after this long; the caller then
// goes on without the change.
constexpr int kBusyTimeoutMs = 1000;

Statement Prepare(sqlite3* db, std::string_view sql, std::string_view* tail = nullptr) {
    sqlite3_stmt* raw = nullptr;
    const char* end = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &end) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return nullptr;
    }
    if (tail) *tail = end ? sql.substr(static_cast<std::size_t>(end - sql.data())) : std::string_view{};
    return Statement(raw);
}

std::string Quoted(std::string_view identifier) {
    std::string out = "\"";
    for (char c : identifier) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_FLOAT: {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.15g", sqlite3_column_double(statement, column));
            return buffer;
        }
        default: {
            const void* bytes = sqlite3_column_blob(statement, column);
            const int size = sqlite3_column_bytes(statement, column);
            return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                         : std::string{};
        }
    }
}

// The rows of one query, read at once. When every column comes straight from one table, the
// rows carry their rowid and can be changed and added.
class QueryRows : public Table {
  public:
    long long rowCount() const override { return static_cast<long long>(rows_.size()); }
    int fieldCount() const override { return static_cast<int>(names_.size()); }
    std::string fieldName(int field) const override { return names_[static_cast<std::size_t>(field)]; }
    std::string value(long long row, int field) const override {
        return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(field)];
    }
    bool canWrite(int) const override { return !table_.empty(); }

    bool store(long long row, const std::map<int, std::string>& values) override {
        if (table_.empty()) return false;
        // Columns by their table name; a column listed twice takes the last value.
        std::map<std::string, std::string> byColumn;
        for (const auto& [field, text] : values) byColumn[origins_[static_cast<std::size_t>(field)]] = text;

        const std::string target = Quoted(schema_) + "." + Quoted(table_);
        std::string sql;
        const bool isNew = row >= rowCount();
        if (isNew) {
            if (byColumn.empty()) {
                sql = "INSERT INTO " + target + " DEFAULT VALUES";
            } else {
                std::string names, marks;
                for (const auto& entry : byColumn) {
                    names += (names.empty() ? "" : ",") + Quoted(entry.first);
                    marks += marks.empty() ? "?" : ",?";
                }
                sql = "INSERT INTO " + target + " (" + names + ") VALUES (" + marks + ")";
            }
        } else {
            if (byColumn.empty()) return true;
            std::string sets;
            for (const auto& entry : byColumn) sets += (sets.empty() ? "" : ",") + Quoted(entry.first) + "=?";
            sql = "UPDATE " + target + " SET " + sets + " WHERE _rowid_=?";
        }
        Statement statement = Prepare(db_.get(), sql);
        if (!statement) return false;
        int index = 1;
        for (const auto& entry : byColumn)
            sqlite3_bind_text(statement.get(), index++, entry.second.data(),
                              static_cast<int>(entry.second.size()), SQLITE_TRANSIENT);
        if (!isNew) sqlite3_bind_int64(statement.get(), index, rowids_[static_cast<std::size_t>(row)]);
        if (sqlite3_step(statement.get()) != SQLITE_DONE) return false;
        if (!isNew && sqlite3_changes(db_.get()) != 1) return false;

        if (isNew) {
            rows_.emplace_back(names_.size());
            rowids_.push_back(sqlite3_last_insert_rowid(db_.get()));
        }
        auto& cells = rows_[static_cast<std::size_t>(isNew ? rowCount() - 1 : row)];
        for (std::size_t f = 0; f < names_.size(); ++f) {
            auto it = byColumn.find(origins_[f]);
            if (it != byColumn.end()) cells[f] = it->second;
        }
        return true;
    }

    // Reads every row of `statement`; the first `skip` columns (the rowid) are not fields.
    bool read(Database db, sqlite3_stmt* statement, bool withRowid) {
        db_ = std::move(db);
        const int first = withRowid ? 1 : 0;
        const int columns = sqlite3_column_count(statement);
        for (int c = first; c < columns; ++c) {
            const char* name = sqlite3_column_name(statement, c);
            names_.emplace_back(name ? name : "");
        }
        if (withRowid) findTable(statement, columns);
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            std::vector<std::string> cells;
            cells.reserve(names_.size());
            for (int c = first; c < columns; ++c) cells.push_back(ColumnText(statement, c));
            rows_.push_back(std::move(cells));
            rowids_.push_back(withRowid ? sqlite3_column_int64(statement, 0) : 0);
        }
        return rc == SQLITE_DONE;
    }

  private:
    // Writable only when the rowid and every column come straight from the same table.
    void findTable(sqlite3_stmt* statement, int columns) {
        const char* schema = sqlite3_column_database_name(statement, 0);
        const char* table = sqlite3_column_table_name(statement, 0);
        if (!schema || !table) return;
        std::vector<std::string> origins;
        for (int c = 1; c < columns; ++c) {
            const char* s = sqlite3_column_database_name(statement, c);
            const char* t = sqlite3_column_table_name(statement, c);
            const char* o = sqlite3_column_origin_name(statement, c);
            if (!s || !t || !o || std::string_view(s) != schema || std::string_view(t) != table) return;
            origins.emplace_back(o);
        }
        schema_ = schema;
        table_ = table;
        origins_ = std::move(origins);
    }

    Database db_;
    std::string schema_, table_;        // the one table the rows come from; empty: read-only
    std::vector<std::string> names_;    // field names as the query gives them
    std::vector<std::string> origins_;  // the table columns behind the fields
    std::vector<std::vector<std::string>> rows_;
    std::vector<long long> rowids_;
};

// The statement as it stands, or with the rowid put in front of its select list so that the
// rows can be written back.
std::string WithRowid(std::string_view sql) {
    const std::string_view trimmed = TrimBlanks(sql);
    if (!StartsWithIgnoringAsciiCase(trimmed, "select") || trimmed.size() < 7 ||
        TrimBlanks(trimmed.substr(6, 1)).size() != 0)
        return {};
    return "select _rowid_," + std::string(trimmed.substr(6));
}

}  // namespace

DatabaseResult RunDatabaseStatement(const std::string& file, bool readOnlyFile, std::string_view sql,
                                    bool writable) {
    DatabaseResult result;
    // Checked first: SQLite would make a temporary database of an empty name, and the settings
    // file must never be created by the program.
    if (file.empty() || !FileExists(file)) return result;
    sqlite3* raw = nullptr;
    const int flags = readOnlyFile ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    Database db(raw, DatabaseCloser{});
    if (rc != SQLITE_OK || !db) return result;
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);

    std::string_view tail;
    Statement statement = Prepare(db.get(), sql, &tail);
    if (!statement) return result;
    // One statement only: text after it is refused rather than silently dropped or run.
    for (char c : tail)
        if (c != ';' && !TrimBlanks(std::string_view(&c, 1)).empty()) return result;

    if (sqlite3_column_count(statement.get()) == 0) {
        int step;
        while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        }
        result.ran = step == SQLITE_DONE;
        return result;
    }

    bool withRowid = false;
    if (writable && !readOnlyFile) {
        const std::string rewritten = WithRowid(sql);
        if (!rewritten.empty()) {
            if (Statement keyed = Prepare(db.get(), rewritten, &tail)) {
                statement = std::move(keyed);
                withRowid = true;
            }
        }
    }
    auto rows = std::make_unique<QueryRows>();
    if (!rows->read(db, statement.get(), withRowid)) return result;
    statement.reset();
    result.ran = true;
    result.cursor = std::make_unique<Cursor>(std::move(rows), writable && !readOnlyFile);
    return result;
}

std::string DatabaseProblem(const std::string& file, std::string_view table, bool write) {
    if (file.empty() || !FileExists(file)) return "文件不存在";
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(file.c_str(), &raw, write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, nullptr);
    Database db(raw, DatabaseCloser{});
    if (rc != SQLITE_OK || !db) return rc == SQLITE_CANTOPEN ? "文件无法打开（没有权限）" : "文件无法打开";
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    // Reading the table reads the file's header and pages: a damaged file fails here.
    const std::string count = "select count(*) from \"" + std::string(table) + "\"";
    int step = SQLITE_ERROR;
    {
        std::string_view tail;
        Statement statement = Prepare(db.get(), count, &tail);
        if (!statement) {
            const int code = sqlite3_errcode(db.get()) & 0xFF;
            if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) return "文件已损坏";
            if (code == SQLITE_BUSY || code == SQLITE_LOCKED) return "文件被其他程序锁定";
            return "文件中没有设置表 " + std::string(table);
        }
        step = sqlite3_step(statement.get());
    }
    if (step == SQLITE_BUSY || step == SQLITE_LOCKED) return "文件被其他程序锁定";
    if (step != SQLITE_ROW) return "文件已损坏";
    if (!write) return {};
    // A write lock taken and given back at once: a read-only file or folder, or another program
    // holding the file, shows here without anything written.
    if (sqlite3_db_readonly(db.get(), "main") == 1) return "文件是只读的，无法保存更改";
    const int begin = sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (begin == SQLITE_OK) {
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        return {};
    }
    if ((begin & 0xFF) == SQLITE_BUSY || (begin & 0xFF) == SQLITE_LOCKED)
        return "文件被其他程序锁定，无法保存更改";
    if ((begin & 0xFF) == SQLITE_READONLY) return "文件是只读的，无法保存更改";
    return "文件无法写入";
}

}  // namespace qm::data
