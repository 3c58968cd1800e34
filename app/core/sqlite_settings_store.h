#pragma once
// The settings store of the program: an SQLite file shipped with it (Quillmerge.mdb) that holds
// the table Init (ExcelPath, WordPath, UserDocPath; its first row is the one read) and the table
// Options (Name, Value), which the first stored option makes.
//
// The file is never created, and its table Init is never altered: a store made by an earlier
// version, with more columns in Init, keeps them as they are. Each call opens the file anew, so
// a store replaced or removed while the program runs is never written through an old handle.
// A call that waits for another program's lock gives up after a second.

#include <string>

#include "app/core/settings_store.h"

namespace qm {

class SqliteDb;

class SqliteSettingsStore final : public SettingsStore {
  public:
    explicit SqliteSettingsStore(std::string file);
    ~SqliteSettingsStore() override;

    std::string Location() const override { return file_; }
    // Columns are found by name, exactly first, then in any ASCII letter case; a missing column
    // reads "". Unreadable for a missing, damaged or locked file or one without Init.
    StoredFolders ReadFolders() override;
    bool AddFolders(const std::array<std::string, 3>& values) override;
    bool WriteFolder(FolderColumn column, std::string_view value) override;
    std::string ReadOption(std::string_view name) override;
    bool WriteOption(std::string_view name, std::string_view value) override;
    // "文件不存在", "文件已损坏", "文件被其他程序锁定", "文件是只读的，无法保存更改", ... Writing is
    // tried with a write lock taken and given back at once.
    std::string Problem(bool write) override;

  private:
    // The file opened for reading and, where it can be, writing (SQLite opens a write-protected
    // file read-only); empty when it is missing or cannot be opened.
    SqliteDb Open() const;

    std::string file_;
};

}  // namespace qm
