#include "app/core/settings.h"

#include <array>

#include "app/core/sqlite_settings_store.h"
#include "common/fs.h"
#include "common/text.h"

namespace qm {
namespace {

// The first-run values of the folders (stored form, relative to the program folder), in the
// settings' index order.
constexpr std::array<const char*, 3> kFirstRun = {"\\数据\\", "\\模板\\", "\\用户文档\\"};

// Options beside the folders: one row per name, so a later option needs no change of a table.
constexpr const char* kShownValuesOption = "ShownValues";
constexpr const char* kNameColumnOption = "NameColumn";
constexpr const char* kOutputTypeOption = "OutputType";
// Followed by the template's path; the titles are separated by tabs, which no title read from a
// workbook cell holds in practice and which the window's menu never adds.
constexpr std::string_view kPictureColumnsOption = "PictureColumns:";

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
    : AppSettings(programFolder, std::make_unique<SqliteSettingsStore>(programFolder + "/Quillmerge.mdb")) {}

AppSettings::AppSettings(std::string programFolder, std::unique_ptr<SettingsStore> store)
    : programFolder_(std::move(programFolder)), store_(std::move(store)) {
    Load();
}

AppSettings::~AppSettings() = default;

std::string* AppSettings::Field(int index) {
    std::string* fields[] = {&excelPath_, &wordPath_, &userDocPath_};
    return fields[index - 1];
}

void AppSettings::Load() {
    const StoredFolders stored = store_->ReadFolders();
    for (int i = 1; i <= 3; ++i) {
        switch (stored.state) {
            case StoredFolders::State::Read:
                *Field(i) = stored.values[static_cast<std::size_t>(i - 1)];
                break;
            case StoredFolders::State::Empty:
                *Field(i) = kFirstRun[static_cast<std::size_t>(i - 1)];
                break;
            case StoredFolders::State::Unreadable:
                // Left empty, so GetPath gives the defaults.
                Field(i)->clear();
                break;
        }
    }
    // Nothing is written into a store that could not be read: it may be damaged, and is the
    // user's to look at. An empty table gets its first row; if that cannot be stored, the
    // first-run folders hold for this run and the check below says why.
    if (stored.state == StoredFolders::State::Empty)
        store_->AddFolders({kFirstRun[0], kFirstRun[1], kFirstRun[2]});
    shownValues_ = store_->ReadOption(kShownValuesOption) == "1";
    nameColumn_ = store_->ReadOption(kNameColumnOption);
    outputType_ = store_->ReadOption(kOutputTypeOption);
    const std::string file = store_->Location();
    if (stored.state == StoredFolders::State::Unreadable) {
        std::string why = store_->Problem(false);
        if (why.empty()) why = "读取失败";
        Report("设置文件“" + file + "”无法读取：" + why + "。本次使用默认的文件夹，所选的文件夹不会被记住。");
    } else if (const std::string problem = store_->Problem(true); !problem.empty()) {
        Report("设置文件“" + file + "”无法保存更改：" + problem + "。本次所选的文件夹下次启动时不会被记住。");
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
    if (value.empty()) value = kFirstRun[static_cast<std::size_t>(index - 1)];
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

    *Field(index) = path;
    // Stored with its trailing separator.
    const std::string stored = path == "/" ? path : path + "/";
    if (!store_->WriteFolder(static_cast<FolderColumn>(index - 1), stored)) {
        std::string why = store_->Problem(true);
        if (why.empty()) why = "写入失败";
        Report("设置文件“" + store_->Location() + "”无法保存更改：" + why +
               "。本次所选的文件夹下次启动时不会被记住。");
    }
}

// An option that cannot be stored lasts for this run; the problem of the store was told when
// it was loaded.
void AppSettings::SetShownValues(bool on) {
    shownValues_ = on;
    store_->WriteOption(kShownValuesOption, on ? "1" : "0");
}

void AppSettings::SetNameColumn(std::string_view title) {
    nameColumn_ = title;
    store_->WriteOption(kNameColumnOption, title);
}

void AppSettings::SetOutputType(std::string_view type) {
    outputType_ = type;
    store_->WriteOption(kOutputTypeOption, type);
}

std::vector<std::string> AppSettings::PictureColumns(std::string_view templatePath) const {
    auto it = pictureColumns_.find(templatePath);
    if (it == pictureColumns_.end()) {
        std::vector<std::string> titles;
        const std::string stored =
            store_->ReadOption(std::string(kPictureColumnsOption) + std::string(templatePath));
        for (std::size_t at = 0; at < stored.size();) {
            std::size_t tab = stored.find('\t', at);
            if (tab == std::string::npos) tab = stored.size();
            if (tab > at) titles.push_back(stored.substr(at, tab - at));
            at = tab + 1;
        }
        it = pictureColumns_.emplace(std::string(templatePath), std::move(titles)).first;
    }
    return it->second;
}

void AppSettings::SetPictureColumns(std::string_view templatePath, const std::vector<std::string>& titles) {
    std::string stored;
    std::vector<std::string> kept;
    for (const std::string& title : titles) {
        if (title.empty() || title.find('\t') != std::string::npos) continue;
        if (!stored.empty()) stored += '\t';
        stored += title;
        kept.push_back(title);
    }
    pictureColumns_[std::string(templatePath)] = std::move(kept);
    store_->WriteOption(std::string(kPictureColumnsOption) + std::string(templatePath), stored);
}

}  // namespace qm
