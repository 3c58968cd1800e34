#include "app/core/settings.h"

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/recordset.h"

namespace qm {
namespace {

// The columns of Init, their first-run values and the settings' index order.
struct SettingColumn {
    const char* column;
    const char* firstRun;  // stored form, relative to the program folder
};
constexpr SettingColumn kColumns[] = {
    {"ExcelPath", "\\数据\\"},
    {"WordPath", "\\模板\\"},
    {"UserDocPath", "\\用户文档\\"},
};

// The columns of the save runs' choices, added after the folders.
constexpr const char* kNameColumn = "NameColumn";
constexpr const char* kOutputType = "OutputType";

constexpr int kCursorKeyset = 1;
constexpr int kLockOptimistic = 3;

// Absolute on this platform, or a drive folder kept from a settings file written on Windows.
bool IsAbsolute(std::string_view folder) {
    return (!folder.empty() && folder[0] == '/') || (folder.size() >= 2 && folder[1] == ':');
}

bool IsDriveFolder(std::string_view folder) {
    return folder.size() >= 2 && folder[1] == ':' && folder[0] != '/';
}

// A folder relative to the program folder: "\数据\" (the stored first-run form) or "数据/x".
// Backslashes are separators in such values, whichever system wrote them.
std::string BelowProgramFolder(const std::string& programFolder, std::string_view relative) {
    std::string tail = ReplaceAll(relative, "\\", "/");
    if (tail.empty() || tail[0] != '/') tail.insert(0, "/");
    return programFolder + tail;
}

std::string CollapseSeparators(std::string path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path)
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
    return out;
}

}  // namespace

AppSettings::AppSettings(std::string programFolder)
    : programFolder_(std::move(programFolder)),
      connectionString_(
          data::BuildConnectionString(data::AccessFile, {}, programFolder_ + "/Quillmerge.mdb")),
      recordset_(std::make_unique<data::Recordset>()) {
    Load();
}

AppSettings::~AppSettings() = default;

void AppSettings::Load() {
    std::string* fields[] = {&excelPath_, &wordPath_, &userDocPath_};
    queryText_ = "select * from init";
    recordset_->open(queryText_, connectionString_, kCursorKeyset, kLockOptimistic);
    // A recordset that did not open reads eof as false, so a missing database leaves the
    // fields empty below, and GetPath falls back to the defaults.
    if (recordset_->eof()) {
        recordset_->addNew();
        for (int i = 0; i < 3; ++i) {
            *fields[i] = kColumns[i].firstRun;
            recordset_->setFieldValue(kColumns[i].column, *fields[i]);
        }
        recordset_->update();
    } else {
        for (int i = 0; i < 3; ++i) *fields[i] = recordset_->fieldValue(std::string_view(kColumns[i].column));
        // Both read "" from a settings file that has not their columns yet.
        nameColumn_ = recordset_->fieldValue(std::string_view(kNameColumn));
        outputType_ = recordset_->fieldValue(std::string_view(kOutputType));
    }
    recordset_->close();
}

std::string AppSettings::GetPath(int index) const {
    if (index < 1 || index > 3) return {};
    const std::string* fields[] = {&excelPath_, &wordPath_, &userDocPath_};
    std::string value = *fields[index - 1];
    if (value.empty()) value = kColumns[index - 1].firstRun;
    if (!IsAbsolute(value)) value = BelowProgramFolder(programFolder_, value);
    // A drive folder kept from a Windows settings file keeps its own separator.
    if (IsDriveFolder(value)) {
        if (value.back() != '\\' && value.back() != '/') value += '\\';
    } else if (value.back() != '/') {
        value += '/';
    }
    return value;
}

void AppSettings::SetPath(int index, std::string_view folder) {
    if (index < 1 || index > 3 || folder.empty()) return;
    std::string path(folder);
    if (!IsAbsolute(path)) path = CollapseSeparators(BelowProgramFolder(programFolder_, path));
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (!DirectoryExists(path)) return;

    std::string* fields[] = {&excelPath_, &wordPath_, &userDocPath_};
    *fields[index - 1] = path;
    // Stored with its trailing separator; quotes doubled so that any folder name makes a
    // valid statement and comes back unchanged.
    const std::string stored = path == "/" ? path : path + "/";
    queryText_ = std::string("update Init set ") + kColumns[index - 1].column + "='" +
                 ReplaceAll(stored, "'", "''") + "'";
    recordset_->open(queryText_, connectionString_, kCursorKeyset, kLockOptimistic);
    recordset_->update();
    recordset_->close();
}

}  // namespace qm

namespace qm {

void AppSettings::SetNameColumn(std::string_view title) {
    nameColumn_ = title;
    StoreText(kNameColumn, title);
}

void AppSettings::SetOutputType(std::string_view type) {
    outputType_ = type;
    StoreText(kOutputType, type);
}

void AppSettings::StoreText(const char* column, std::string_view value) {
    queryText_ = std::string("update Init set ") + column + "='" + ReplaceAll(value, "'", "''") + "'";
    if (!recordset_->open(queryText_, connectionString_, kCursorKeyset, kLockOptimistic)) {
        // A settings file from before this setting: its column is added once, then the value goes in.
        recordset_->open(std::string("alter table Init add column ") + column + " TEXT", connectionString_,
                         kCursorKeyset, kLockOptimistic);
        recordset_->open(queryText_, connectionString_, kCursorKeyset, kLockOptimistic);
    }
    recordset_->close();
}

}  // namespace qm
