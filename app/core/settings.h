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

    // How save runs name and write their files, kept beside the folders: the column whose values
    // name the files ("" numbers them) and the type of file ("doc", "docx", "pdf", "odt", or
    // "pdf-all" for one PDF of every document; "" until chosen). Stored as given; a settings file
    // written before these settings existed gets their columns when one is first stored.
    const std::string& NameColumn() const { return nameColumn_; }
    void SetNameColumn(std::string_view title);
    const std::string& OutputType() const { return outputType_; }
    void SetOutputType(std::string_view type);

    // The fields as last loaded or stored (stored form, no trailing separator).
    const std::string& ConnectionString() const { return connectionString_; }
    const std::string& QueryText() const { return queryText_; }
    const std::string& ExcelPath() const { return excelPath_; }
    const std::string& WordPath() const { return wordPath_; }
    const std::string& UserDocPath() const { return userDocPath_; }

private:
    void StoreText(const char* column, std::string_view value);

    std::string programFolder_;
    std::string connectionString_;
    std::unique_ptr<data::Recordset> recordset_;
    std::string queryText_;
    std::string excelPath_;
    std::string wordPath_;
    std::string userDocPath_;
    std::string nameColumn_;
    std::string outputType_;
};

}  // namespace qm
