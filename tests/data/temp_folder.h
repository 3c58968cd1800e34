#pragma once
// A fresh folder per test, removed with everything in it afterwards; and a way to run SQL on a
// test database without going through the code under test.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace qm::testing_data {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = ::testing::TempDir() + "qm_data_XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Runs `sql` on the database `file`, creating it; fails the test on an error.
inline void Sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message << " in " << sql;
}

// The first column of the first row of `sql`, "<null>" for NULL, "<none>" without a row.
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

}  // namespace qm::testing_data
