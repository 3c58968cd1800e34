#include "app/core/sqlite_settings_store.h"

#include "app/core/sqlite_db.h"
#include "common/fs.h"

namespace qm {
namespace {

constexpr const char* kFolderColumns[] = {"ExcelPath", "WordPath", "UserDocPath"};

// A writer waiting for another program's lock gives up after this long; the caller then goes
// on without the change.
constexpr int kBusyTimeoutMs = 1000;

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) return false;
    }
    return true;
}

// Where each folder column stands in the statement's columns; -1 when it is not there.
std::array<int, 3> FindFolderColumns(const SqliteStatement& statement) {
    std::array<int, 3> found{-1, -1, -1};
    const int count = statement.ColumnCount();
    for (std::size_t f = 0; f < found.size(); ++f) {
        for (int c = 0; c < count && found[f] < 0; ++c)
            if (statement.ColumnName(c) == kFolderColumns[f]) found[f] = c;
        for (int c = 0; c < count && found[f] < 0; ++c)
            if (SameIgnoringAsciiCase(statement.ColumnName(c), kFolderColumns[f])) found[f] = c;
    }
    return found;
}

}  // namespace

SqliteSettingsStore::SqliteSettingsStore(std::string file) : file_(std::move(file)) {}

SqliteSettingsStore::~SqliteSettingsStore() = default;

SqliteDb SqliteSettingsStore::Open() const {
    // Checked first: SQLite would make a temporary database of an empty name, and the store
    // is never created by the program.
    if (file_.empty() || !FileExists(file_)) return {};
    int code = SQLITE_OK;
    SqliteDb db = SqliteDb::Open(file_, SQLITE_OPEN_READWRITE, code);
    db.SetBusyTimeout(kBusyTimeoutMs);
    return db;
}

// Every row is read, though only the first is kept: a file damaged further in is found now,
// not when it is written.
StoredFolders SqliteSettingsStore::ReadFolders() {
    StoredFolders folders;
    SqliteDb db = Open();
    SqliteStatement statement = db.Prepare("SELECT * FROM Init");
    if (!statement) return folders;
    const std::array<int, 3> columns = FindFolderColumns(statement);
    bool first = true;
    int rc;
    while ((rc = statement.Step()) == SQLITE_ROW) {
        if (!first) continue;
        first = false;
        for (std::size_t f = 0; f < columns.size(); ++f) folders.values[f] = statement.ColumnText(columns[f]);
    }
    if (rc != SQLITE_DONE) return {};
    folders.state = first ? StoredFolders::State::Empty : StoredFolders::State::Read;
    return folders;
}

bool SqliteSettingsStore::AddFolders(const std::array<std::string, 3>& values) {
    SqliteDb db = Open();
    SqliteStatement statement =
        db.Prepare("INSERT INTO Init (ExcelPath, WordPath, UserDocPath) VALUES (?, ?, ?)");
    for (std::size_t f = 0; f < values.size(); ++f)
        if (!statement.BindText(static_cast<int>(f) + 1, values[f])) return false;
    return statement.Run();
}

bool SqliteSettingsStore::WriteFolder(FolderColumn column, std::string_view value) {
    SqliteDb db = Open();
    SqliteStatement statement =
        db.Prepare(std::string("UPDATE Init SET ") + kFolderColumns[static_cast<int>(column)] + " = ?");
    return statement.BindText(1, value) && statement.Run();
}

// Opened for writing like the rest: only such a connection can roll back what a program that
// died while writing left behind, and reading needs that first.
std::string SqliteSettingsStore::ReadOption(std::string_view name) {
    SqliteDb db = Open();
    SqliteStatement statement = db.Prepare("SELECT Value FROM Options WHERE Name = ?");
    if (!statement.BindText(1, name) || statement.Step() != SQLITE_ROW) return {};
    return statement.ColumnText(0);
}

bool SqliteSettingsStore::WriteOption(std::string_view name, std::string_view value) {
    SqliteDb db = Open();
    if (!db ||
        db.Execute("CREATE TABLE IF NOT EXISTS Options (Name TEXT PRIMARY KEY, Value TEXT)") != SQLITE_OK)
        return false;
    SqliteStatement statement = db.Prepare("INSERT OR REPLACE INTO Options (Name, Value) VALUES (?, ?)");
    return statement.BindText(1, name) && statement.BindText(2, value) && statement.Run();
}

std::string SqliteSettingsStore::Problem(bool write) {
    if (file_.empty() || !FileExists(file_)) return "文件不存在";
    int code = SQLITE_OK;
    SqliteDb db = SqliteDb::Open(file_, write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, code);
    if (!db) return code == SQLITE_CANTOPEN ? "文件无法打开（没有权限）" : "文件无法打开";
    db.SetBusyTimeout(kBusyTimeoutMs);
    // Reading the table reads the file's header and pages: a damaged file fails here.
    int step = SQLITE_ERROR;
    {
        SqliteStatement count = db.Prepare("SELECT count(*) FROM Init");
        if (!count) {
            const int error = db.ErrorCode();
            if (error == SQLITE_NOTADB || error == SQLITE_CORRUPT) return "文件已损坏";
            if (error == SQLITE_BUSY || error == SQLITE_LOCKED) return "文件被其他程序锁定";
            return "文件中没有设置表 Init";
        }
        step = count.Step();
    }
    if (step == SQLITE_BUSY || step == SQLITE_LOCKED) return "文件被其他程序锁定";
    if (step != SQLITE_ROW) return "文件已损坏";
    if (!write) return {};
    // A write lock taken and given back at once: a read-only file or folder, or another program
    // holding the file, shows here without anything written.
    if (db.ReadOnly()) return "文件是只读的，无法保存更改";
    const int begin = db.Execute("BEGIN IMMEDIATE") & 0xFF;
    if (begin == SQLITE_OK) {
        db.Execute("ROLLBACK");
        return {};
    }
    if (begin == SQLITE_BUSY || begin == SQLITE_LOCKED) return "文件被其他程序锁定，无法保存更改";
    if (begin == SQLITE_READONLY) return "文件是只读的，无法保存更改";
    return "文件无法写入";
}

}  // namespace qm
