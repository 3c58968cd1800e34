#include "app/core/settings.h"

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/providers.h"
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

// Options beside Init: one row per name, so a later option needs no change of the table.
constexpr const char* kShownValuesOption = "ShownValues";
constexpr const char* kNameColumnOption = "NameColumn";
constexpr const char* kOutputTypeOption = "OutputType";

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
      file_(programFolder_ + "/Quillmerge.mdb"),
      connectionString_(data::BuildConnectionString(data::AccessFile, {}, file_)),
      recordset_(std::make_unique<data::Recordset>()) {
    Load();
}

AppSettings::~AppSettings() = default;

void AppSettings::Load() {
    std::string* fields[] = {&excelPath_, &wordPath_, &userDocPath_};
    queryText_ = "select * from init";
    const bool opened = recordset_->open(queryText_, connectionString_, kLockOptimistic);
    // A recordset that did not open reads eof as false, so a missing database leaves the
    // fields empty below, and GetPath falls back to the defaults. Nothing is written into a
    // store that could not be read: it may be damaged, and is the user's to look at.
    if (recordset_->eof()) {
        recordset_->addNew();
        for (int i = 0; i < 3; ++i) {
            *fields[i] = kColumns[i].firstRun;
            recordset_->setFieldValue(kColumns[i].column, *fields[i]);
        }
        recordset_->update();
    } else {
        for (int i = 0; i < 3; ++i) *fields[i] = recordset_->fieldValue(std::string_view(kColumns[i].column));
    }
    recordset_->close();
    shownValues_ = ReadOption(kShownValuesOption) == "1";
    nameColumn_ = ReadOption(kNameColumnOption);
    outputType_ = ReadOption(kOutputTypeOption);
    if (!opened) {
        Report("设置文件“" + file_ + "”无法读取：" + data::DatabaseProblem(file_, "Init", false) +
               "。本次使用默认的文件夹，所选的文件夹不会被记住。");
    } else if (const std::string problem = data::DatabaseProblem(file_, "Init", true); !problem.empty()) {
        Report("设置文件“" + file_ + "”无法保存更改：" + problem +
               "。本次所选的文件夹下次启动时不会被记住。");
    }
}

// The user hears about the store once a run of the program: its later failures are the same
// trouble told again.
void AppSettings::Report(std::string problem) {
    problem_ = std::move(problem);
    if (observer_ && !told_) {
        told_ = true;
        observer_(problem_);
    }
}

void AppSettings::SetProblemObserver(std::function<void(const std::string&)> observer) {
    observer_ = std::move(observer);
    if (!problem_.empty() && observer_ && !told_) {
        told_ = true;
        observer_(problem_);
    }
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
    const bool written = recordset_->open(queryText_, connectionString_, kLockOptimistic);
    recordset_->update();
    recordset_->close();
    if (!written) {
        std::string why = data::DatabaseProblem(file_, "Init", true);
        if (why.empty()) why = "写入失败";
        Report("设置文件“" + file_ + "”无法保存更改：" + why + "。本次所选的文件夹下次启动时不会被记住。");
    }
}

// A database without the table fails to open the query, and the option reads "".
std::string AppSettings::ReadOption(const char* name) {
    std::string value;
    if (recordset_->open(std::string("select Value from Options where Name='") + name + "'",
                         connectionString_, kLockOptimistic) &&
        !recordset_->eof())
        value = recordset_->fieldValue(0);
    recordset_->close();
    return value;
}

void AppSettings::StoreOption(const char* name, std::string_view value) {
    recordset_->open("create table if not exists Options (Name text primary key, Value text)",
                     connectionString_, kLockOptimistic);
    recordset_->open(std::string("insert or replace into Options (Name, Value) values ('") + name + "', '" +
                         ReplaceAll(value, "'", "''") + "')",
                     connectionString_, kLockOptimistic);
    recordset_->close();
}

void AppSettings::SetShownValues(bool on) {
    shownValues_ = on;
    StoreOption(kShownValuesOption, on ? "1" : "0");
}

void AppSettings::SetNameColumn(std::string_view title) {
    nameColumn_ = title;
    StoreOption(kNameColumnOption, title);
}

void AppSettings::SetOutputType(std::string_view type) {
    outputType_ = type;
    StoreOption(kOutputTypeOption, type);
}

}  // namespace qm
