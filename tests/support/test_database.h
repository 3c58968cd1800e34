#pragma once
// SQL on a test database without going through the code under test: to set up a settings
// file as another program left it, and to look at what the program wrote.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace qm::test {

// Runs `sql` on the database `file`, making the file when it is missing; fails the test on an
// error (call it through ASSERT_NO_FATAL_FAILURE where the test must stop then).
inline void Sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open(file.c_str(), &db);
    if (opened != SQLITE_OK) {
        sqlite3_close(db);
        FAIL() << "cannot open " << file;
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message << " in " << sql;
}

// The first column of the first row of `sql`, read-only: "<null>" for NULL, "<none>" without a
// row, "<error>" when the file or the statement cannot be read.
inline std::string Scalar(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out = "<error>";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            if (sqlite3_step(st) == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(st, 0);
                out = text ? reinterpret_cast<const char*>(text) : "<null>";
            } else {
                out = "<none>";
            }
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

}  // namespace qm::test
