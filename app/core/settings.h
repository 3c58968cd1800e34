#pragma once
// The three remembered folders, kept in the one row of the table Init of the settings store
// ProgramFolder + "/Quillmerge.mdb" (an SQLite file shipped with the program; never created
// here; see SqliteSettingsStore). A store that cannot be read leaves the folders at their defaults below the
// program folder; one that cannot be written keeps changes for this run only. Either way the program goes on,
// and the problem is told once to whoever watches (the window), never overwritten.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/settings_store.h"

namespace qm {

class AppSettings {
  public:
    // Keeps the settings in programFolder + "/Quillmerge.mdb" (SqliteSettingsStore) and runs
    // Load(). `programFolder` has no trailing "/".
    explicit AppSettings(std::string programFolder);
    // The same over another store (a test's); a null store is not allowed.
    AppSettings(std::string programFolder, std::unique_ptr<SettingsStore> store);
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

    // What is wrong with the store, in a sentence for the user (which file, what failed); "" when
    // nothing is. Set by Load and by a SetPath that could not store its folder.
    const std::string& Problem() const { return problem_; }
    // `observer` hears of a problem once in the program's run: the one Load found at once, else
    // the first that comes later.
    void SetProblemObserver(std::function<void(const std::string&)> observer);

    // Choices kept in the table Options of the same database (one row a name), which the first
    // change makes there; Init keeps its columns. A database without the table reads the
    // defaults; one that cannot be written keeps a choice for this run only.
    //
    // Whether workbook values are taken as the sheet shows them under their number formats
    // ("¥3,000.75") rather than raw ("3000.75"); off by default.
    bool GetShownValues() const { return shownValues_; }
    void SetShownValues(bool on);
    // How save runs name and write their files: the column whose values name the files (""
    // numbers them) and the type of file ("doc", "docx", "pdf", "odt", or "pdf-all" for one PDF
    // of every document; "" until chosen). Stored as given.
    const std::string& NameColumn() const { return nameColumn_; }
    void SetNameColumn(std::string_view title);
    const std::string& OutputType() const { return outputType_; }
    void SetOutputType(std::string_view type);
    // The columns whose values name picture files for the template at `templatePath`: each one
    // fills its bookmarks with the picture instead of the text. Kept per template (by its path),
    // in the order given; none until chosen.
    std::vector<std::string> PictureColumns(std::string_view templatePath) const;
    void SetPictureColumns(std::string_view templatePath, const std::vector<std::string>& titles);

    // The fields as last loaded or stored (stored form, no trailing separator).
    const std::string& ExcelPath() const { return excelPath_; }
    const std::string& WordPath() const { return wordPath_; }
    const std::string& UserDocPath() const { return userDocPath_; }

  private:
    void Report(std::string problem);
    std::string* Field(int index);

    std::string programFolder_;
    std::unique_ptr<SettingsStore> store_;
    std::string problem_;
    bool told_ = false;
    std::function<void(const std::string&)> observer_;
    std::string excelPath_;
    std::string wordPath_;
    std::string userDocPath_;
    bool shownValues_ = false;
    std::string nameColumn_;
    std::string outputType_;
    // Picture columns read or set so far, by template path.
    mutable std::map<std::string, std::vector<std::string>, std::less<>> pictureColumns_;
};

}  // namespace qm
