#pragma once
// The three remembered folders, kept in the one row of the table Init of the settings database
// ProgramFolder + "/Quillmerge.mdb" (an SQLite file shipped with the program; never created
// here). Every database failure is silent: the folders then fall back to their defaults below
// the program folder, and changes last only for this run.

#include <memory>
#include <string>
#include <string_view>

namespace qm::data {
class Recordset;
}

namespace qm {

class AppSettings {
public:
    // Builds the connection string for programFolder + "/Quillmerge.mdb", creates the recordset
    // and runs Load(). `programFolder` has no trailing "/".
    explicit AppSettings(std::string programFolder);
    ~AppSettings();
    AppSettings(const AppSettings&) = delete;
    AppSettings& operator=(const AppSettings&) = delete;

    // Reads the first Init row; an empty table gets one row with "\数据\", "\模板\", "\用户文档\".
    // Then the options of the table Options.
    void Load();

    // 1 ExcelPath, 2 WordPath, 3 UserDocPath: an absolute folder ending with "/". An empty value
    // gives the default below the program folder; a relative value is taken below it.
    std::string GetPath(int index) const;
    // Normalises `folder`, checks that it exists, keeps it and stores it. Empty text, or a
    // folder that does not exist, changes nothing.
    void SetPath(int index, std::string_view folder);

    std::string GetExcelPath() const { return GetPath(1); }
    std::string GetWordPath() const { return GetPath(2); }
    std::string GetUserDocPath() const { return GetPath(3); }
    void SetExcelPath(std::string_view folder) { SetPath(1, folder); }
    void SetWordPath(std::string_view folder) { SetPath(2, folder); }
    void SetUserDocPath(std::string_view folder) { SetPath(3, folder); }

    // Whether workbook values are taken as the sheet shows them under their number formats
    // ("¥3,000.75") rather than raw ("3000.75"); off by default. Kept in the table Options of
    // the same database, which the first change makes there; a database without it reads off.
    // A database that cannot be written keeps the choice for this run only.
    bool GetShownValues() const { return shownValues_; }
    void SetShownValues(bool on);

    // The fields as last loaded or stored (stored form, no trailing separator).
    const std::string& ConnectionString() const { return connectionString_; }
    const std::string& QueryText() const { return queryText_; }
    const std::string& ExcelPath() const { return excelPath_; }
    const std::string& WordPath() const { return wordPath_; }
    const std::string& UserDocPath() const { return userDocPath_; }

private:
    std::string programFolder_;
    std::string connectionString_;
    std::unique_ptr<data::Recordset> recordset_;
    std::string queryText_;
    std::string excelPath_;
    std::string wordPath_;
    std::string userDocPath_;
    bool shownValues_ = false;
};

}  // namespace qm
