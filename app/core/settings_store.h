#pragma once
// Where the settings are kept. AppSettings decides what the values mean and what the user is
// told; a store only reads and writes them. The program's store is SqliteSettingsStore; tests
// put one of their own in its place.

#include <array>
#include <string>
#include <string_view>

namespace qm {

// The three remembered folders, in the order of AppSettings::GetPath (1 is Excel).
enum class FolderColumn { Excel = 0, Word = 1, UserDoc = 2 };

// The folders as the store holds them.
struct StoredFolders {
    enum class State {
        Unreadable,  // the store or its table of folders could not be read
        Empty,       // the table is there and has no row
        Read,        // `values` are those of its first row
    };
    State state = State::Unreadable;
    std::array<std::string, 3> values;  // by FolderColumn; "" for an empty or missing value
};

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // Where the store is, as the user is told (a file's path).
    virtual std::string Location() const = 0;

    virtual StoredFolders ReadFolders() = 0;
    // Adds a row of folders (by FolderColumn) to a table that has none; false when it could
    // not be stored.
    virtual bool AddFolders(const std::array<std::string, 3>& values) = 0;
    // Stores `value` as the folder `column` of every row; false when it could not be stored.
    // A table without rows takes nothing, and that is no failure.
    virtual bool WriteFolder(FolderColumn column, std::string_view value) = 0;

    // The option stored under `name`; "" when there is none or it cannot be read.
    virtual std::string ReadOption(std::string_view name) = 0;
    // Stores `value` under `name` in a table of options beside the folders, made when
    // missing; the table of folders is never changed for it. False when it could not be
    // stored.
    virtual bool WriteOption(std::string_view name, std::string_view value) = 0;

    // Why the folders cannot be read (or, with `write`, stored), in a few words for the user;
    // "" when they can. Changes nothing.
    virtual std::string Problem(bool write) = 0;
};

}  // namespace qm
