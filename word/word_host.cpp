#include "word/word_host.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "common/dialogs.h"
#include "common/fs.h"
#include "common/text.h"
#include "word/spawn_setup.h"

extern char** environ;

namespace qm::word {

namespace {

constexpr std::string_view kForceCloseQuestion =
    "如果选择“是”将强制关闭正在编辑的WORD文档和运行的WORD程序，对上次保存后修改的内容将丢失，确认要继续吗？";
constexpr std::string_view kScriptMissing =
    "关闭Word进程脚本文件丢失，请与软件开发技术员联系或重新下载软件！";
constexpr std::string_view kCouldNotEnd =
    "多次尝试后仍未能关闭WORD程序，请保存需要的文档后手动关闭WORD程序，或重新启动计算机！";

// A script that cannot end the office must not hold the window forever.
constexpr int kCloseAttempts = 10;
constexpr auto kPauseBetweenLaunches = std::chrono::milliseconds(500);
constexpr auto kPollInterval = std::chrono::milliseconds(25);
// Less room than this after a failed save means the disk is full.
constexpr std::uint64_t kRoomForADocument = 256 * 1024;

// Starts `/bin/sh script args` without waiting for it. The intermediate shell puts the script
// in the background and exits at once, so the script is adopted by init and never left a zombie.
bool LaunchDetached(const std::string& script, const std::string& argument) {
    SpawnSetup setup;
    // Its own process group: ending this program's group must not end the script, and the
    // script ending the office's group must not end this program.
    posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&setup.attr, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    std::string shell = "/bin/sh";
    std::string dashC = "-c";
    std::string command = "/bin/sh \"$1\" \"$2\" >/dev/null 2>&1 &";
    std::string argv0 = "sh";
    std::string scriptArg = script;
    std::string extra = argument;
    char* argv[] = {shell.data(),     dashC.data(), command.data(), argv0.data(),
                    scriptArg.data(), extra.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", &setup.actions, &setup.attr, argv, environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

// The engine's own format for an extension; none for formats only the office writes.
std::optional<engine::Format> EngineFormat(std::string_view path) {
    const std::string extension = LowerExtension(path);
    if (extension == ".doc") return engine::Format::Doc;
    if (extension == ".docx") return engine::Format::Docx;
    return std::nullopt;
}

// A file the office wrote, read back. The office checks its own writing; what is checked here is
// that something was written at all, which an office that died on the way may not have done.
bool Written(std::span<const std::uint8_t> bytes) {
    return !bytes.empty();
}

SaveResult Failed(std::string error, std::string_view fileName) {
    SaveResult result;
    result.error = std::move(error);
    result.diskFull = LowOnSpace(FolderOfPath(fileName), kRoomForADocument);
    if (result.diskFull) result.error = "the disk is full";
    return result;
}

}  // namespace

WordHost::WordHost(std::unique_ptr<Office> office, std::string programFolder)
    : office_(std::move(office)), programFolder_(std::move(programFolder)) {}

WordHost::~WordHost() {
    QuitWord();
    currentDocumentName_.clear();
}

bool WordHost::IsWordRunning() {
    return office_ && office_->running();
}

void WordHost::ShowWord() {
    if (IsWordRunning()) office_->show();
}

engine::OpenResult WordHost::TemplateAt(std::string_view path) {
    struct stat st;
    const std::string file(path);
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {nullptr, "the file cannot be read"};
    const std::int64_t modified =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (cache_.path == file && cache_.size == st.st_size && cache_.modified == modified) return cache_.result;
    cache_ = CachedTemplate{file, st.st_size, modified, engine::OpenTemplateFile(file)};
    return cache_.result;
}

void WordHost::DropWorkingDocument() {
    if (working_.route == Route::Office && working_.open && office_) office_->close(working_.id);
    working_ = Working{};
}

std::string WordHost::OpenTemplate(std::string_view requested, Route route) {
    if (requested.empty()) return currentDocumentName_;
    // A copy: the caller may pass the current template's path, which the drop below clears.
    const std::string path(requested);
    DropWorkingDocument();
    if (!FileExists(path)) {
        currentDocumentName_.clear();
        return {};
    }
    working_.templatePath = path;
    if (route == Route::Engine) {
        const engine::OpenResult r = TemplateAt(path);
        if (r) {
            working_.route = Route::Engine;
            working_.engineTemplate = r.value;
            working_.open = true;
            currentDocumentName_ = "Untitled " + IntToText(++untitled_);
            return currentDocumentName_;
        }
        // A template under a password opens nowhere without it: the office would only ask.
        if (engine::IsPasswordRefusal(r.refusal)) {
            currentDocumentName_.clear();
            return {};
        }
    }
    working_.route = Route::Office;
    working_.id = office_ ? office_->openTemplate(path) : 0;
    working_.open = working_.id != 0;
    if (working_.open) {
        // The office's own hidden bookmarks ("_Toc…", "_GoBack") are neither listed nor filled.
        for (std::string& name : office_->bookmarkNames(working_.id))
            if (!name.starts_with('_')) working_.bookmarks.push_back(std::move(name));
    }
    currentDocumentName_ = working_.open ? office_->title(working_.id) : std::string();
    return currentDocumentName_;
}

bool WordHost::IsDocumentOpen(std::string_view name) {
    if (name.empty()) name = currentDocumentName_;
    if (!working_.open || name != currentDocumentName_ || name.empty()) return false;
    if (working_.route == Route::Engine) return true;
    // The user may have closed it in the office's window, or ended the office.
    if (!IsWordRunning() || !office_->isOpen(working_.id)) {
        working_.open = false;
        return false;
    }
    return true;
}

void WordHost::CloseDocument(std::string_view name) {
    if (!name.empty() && name != currentDocumentName_) return;
    if (working_.route == Route::Office && working_.open && office_) office_->close(working_.id);
    working_.open = false;
    working_.values.clear();
}

std::string WordHost::ListBookmarks() {
    if (!IsDocumentOpen()) return {};
    if (working_.route == Route::Engine) return JoinList(working_.engineTemplate->VisibleNames());
    return JoinList(working_.bookmarks);
}

bool WordHost::BookmarkExists(std::string_view name) {
    if (!IsDocumentOpen()) return false;
    if (working_.route == Route::Engine) {
        const engine::BookmarkInfo* b = working_.engineTemplate->Find(name);
        return b && !b->hidden;
    }
    return std::find(working_.bookmarks.begin(), working_.bookmarks.end(), name) != working_.bookmarks.end();
}

bool WordHost::SetBookmarkText(std::string_view name, std::string_view value) {
    if (!BookmarkExists(name)) return false;
    if (working_.route == Route::Engine) {
        working_.values[std::string(name)] = std::string(value);
        return working_.engineTemplate->Find(name)->refusal.empty();
    }
    // The office gets the same text the engine would write: a control character would make it
    // drop the whole value. The bookmark was found, so the caller counts it filled; a refused
    // write fails the save.
    if (!office_->setBookmarkText(working_.id, name, engine::NormalizeValue(value)))
        working_.valueLost = true;
    return true;
}

std::vector<engine::Fill> WordHost::WorkingFills() const {
    std::vector<engine::Fill> fills;
    for (const auto& [name, value] : working_.values) fills.push_back({name, value});
    return fills;
}

std::vector<engine::Skip> WordHost::BookmarksLeft() const {
    if (working_.route != Route::Engine || !working_.open || !working_.engineTemplate) return {};
    const std::vector<engine::Fill> fills = WorkingFills();
    return working_.engineTemplate->Skips(fills);
}

std::map<std::string, std::string> WordHost::UnfillableBookmarks() const {
    std::map<std::string, std::string> out;
    if (working_.route != Route::Engine || !working_.open || !working_.engineTemplate) return out;
    for (const engine::BookmarkInfo& b : working_.engineTemplate->bookmarks())
        if (!b.hidden && !b.refusal.empty()) out.emplace(b.name, b.refusal);
    return out;
}

SaveResult WordHost::SaveDocumentAs(std::string_view fileName) {
    if (!working_.open || fileName.empty()) return Failed("there is no document to save", fileName);
    if (working_.route == Route::Engine) {
        const std::vector<engine::Fill> fills = WorkingFills();
        std::vector<std::uint8_t> bytes;
        std::string error;
        if (!working_.engineTemplate->Make(fills, bytes, error)) return Failed(error, fileName);
        const engine::Format format = working_.engineTemplate->format();
        const std::optional<engine::Format> wanted = EngineFormat(fileName);
        int code = 0;
        if (wanted && *wanted == format) {
            const bool written = ReplaceFile(
                fileName, bytes,
                [format](std::span<const std::uint8_t> back) {
                    return engine::VerifyContainer(back, format);
                },
                code);
            if (!written) return Failed(std::strerror(code), fileName);
            return SaveResult{true, false, {}};
        }
        // Another format: the office converts the document made here.
        const std::string source =
            TemporaryNameBeside(std::string(fileName) + (format == engine::Format::Doc ? ".doc" : ".docx"));
        if (!ReplaceFile(source, bytes, nullptr, code)) return Failed(std::strerror(code), fileName);
        SaveResult result;
        const DocumentId id = office_ ? office_->openTemplate(source) : 0;
        ::unlink(source.c_str());
        if (id == 0) return Failed("the office could not convert the document", fileName);
        const std::string target = TemporaryNameBeside(fileName);
        const bool saved = office_->saveAs(id, target);
        office_->close(id);
        std::vector<std::uint8_t> back;
        if (!saved || !ReadFileBytes(target, back) || !Written(back)) {
            ::unlink(target.c_str());
            return Failed("the office could not convert the document", fileName);
        }
        if (!CommitFile(target, fileName, code)) return Failed(std::strerror(code), fileName);
        return SaveResult{true, false, {}};
    }
    if (!IsDocumentOpen()) return Failed("the office's document is gone", fileName);
    if (working_.valueLost) return Failed("a value could not be written into the document", fileName);
    const std::string target = TemporaryNameBeside(fileName);
    std::vector<std::uint8_t> back;
    if (!office_->saveAs(working_.id, target) || !ReadFileBytes(target, back) || !Written(back)) {
        ::unlink(target.c_str());
        return Failed("the office could not save the document", fileName);
    }
    int code = 0;
    if (!CommitFile(target, fileName, code)) return Failed(std::strerror(code), fileName);
    return SaveResult{true, false, {}};
}

bool WordHost::PrintDocument(std::string_view jobName) {
    if (!working_.open) return false;
    const std::string job = jobName.empty() ? currentDocumentName_ : std::string(jobName);
    if (working_.route == Route::Office) {
        if (!IsDocumentOpen() || working_.valueLost) return false;
        return office_->print(working_.id, job);
    }
    // The engine's document goes to the printer through the office.
    const std::vector<engine::Fill> fills = WorkingFills();
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!working_.engineTemplate->Make(fills, bytes, error) || !office_) return false;
    const bool doc = working_.engineTemplate->format() == engine::Format::Doc;
    const std::string source =
        TemporaryNameBeside("/tmp/quillmerge-print" + std::string(doc ? ".doc" : ".docx"));
    int code = 0;
    if (!ReplaceFile(source, bytes, nullptr, code)) return false;
    const DocumentId id = office_->openTemplate(source);
    ::unlink(source.c_str());
    if (id == 0) return false;
    const bool printed = office_->print(id, job);
    office_->close(id);
    return printed;
}

void WordHost::ForceCloseWord(UserDialogs& dialogs) {
    if (!dialogs.askYesNo(kForceCloseQuestion, kDefaultCaption)) return;
    const std::string script = programFolder_ + "/vbs/closeword.sh";
    if (!FileExists(script)) {
        dialogs.showMessage(kScriptMissing, kDefaultCaption);
        return;
    }
    for (int attempt = 0; IsWordRunning(); ++attempt) {
        if (attempt == kCloseAttempts) {
            dialogs.showMessage(kCouldNotEnd, kDefaultCaption);
            return;
        }
        // The script ends the offices this program started (their profiles carry its process
        // id), never the user's own.
        LaunchDetached(script, std::to_string(getpid()));
        // Give the script time to work before launching it again, but stop waiting as soon as
        // the office has gone.
        const auto until = std::chrono::steady_clock::now() + kPauseBetweenLaunches;
        while (std::chrono::steady_clock::now() < until && IsWordRunning())
            std::this_thread::sleep_for(kPollInterval);
    }
    // The working document went with the office; the next OpenTemplate starts a new one.
    if (working_.route == Route::Office) working_.open = false;
}

void WordHost::QuitWord() {
    if (office_ && office_->running()) office_->quit();
}

}  // namespace qm::word
