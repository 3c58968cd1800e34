#include "word/word_host.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "common/dialogs.h"
#include "common/fs.h"
#include "common/text.h"
#include "word/engine_document.h"
#include "word/office_document.h"
#include "word/spawn_setup.h"

extern char** environ;

namespace qm::word {

namespace {

constexpr std::string_view kForceCloseQuestion =
    "如果选择“是”将强制关闭本程序启动的WORD程序，其中打开的文档（包括“在Word中查看模板”打开的模板）都不保存，"
    "上次保存后修改的内容将丢失；您自己打开的WORD文档和程序不受影响。确认要继续吗？";
constexpr std::string_view kScriptMissing =
    "关闭Word进程脚本文件丢失，请与软件开发技术员联系或重新下载软件！";
constexpr std::string_view kCouldNotEnd =
    "多次尝试后仍未能关闭WORD程序，请保存需要的文档后手动关闭WORD程序，或重新启动计算机！";

// A script that cannot end the office must not hold the window forever.
constexpr int kCloseAttempts = 10;
constexpr auto kPauseBetweenLaunches = std::chrono::milliseconds(500);
constexpr auto kPollInterval = std::chrono::milliseconds(25);

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

}  // namespace

WordHost::WordHost(std::unique_ptr<Office> office, std::string programFolder)
    : office_(std::move(office)), programFolder_(std::move(programFolder)) {}

WordHost::~WordHost() {
    converter_.reset();
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
    if (document_) document_->Close();
    document_.reset();
    templatePath_.clear();
    templateStamp_ = {};
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
    templatePath_ = path;
    templateStamp_ = StampOf(path);
    if (route == Route::Engine) {
        const engine::OpenResult r = TemplateAt(path);
        if (r) {
            document_ = MakeEngineDocument(r.value, office_.get(), "Untitled " + IntToText(++untitled_));
            currentDocumentName_ = document_->Title();
            return currentDocumentName_;
        }
        if (engine::KeptFromTheOffice(r.refusal)) {
            currentDocumentName_.clear();
            return {};
        }
    }
    document_ = OpenOfficeDocument(office_.get(), path);
    currentDocumentName_ = document_->Title();
    return currentDocumentName_;
}

bool WordHost::IsDocumentOpen(std::string_view name) {
    if (name.empty()) name = currentDocumentName_;
    if (!document_ || !document_->open() || name != currentDocumentName_ || name.empty()) return false;
    return document_->IsOpen();
}

void WordHost::CloseDocument(std::string_view name) {
    if (!name.empty() && name != currentDocumentName_) return;
    if (document_) document_->Close();
}

std::string WordHost::ListBookmarks() {
    if (!IsDocumentOpen()) return {};
    return JoinList(document_->BookmarkNames());
}

bool WordHost::BookmarkExists(std::string_view name) {
    return IsDocumentOpen() && document_->BookmarkExists(name);
}

bool WordHost::SetBookmarkText(std::string_view name, std::string_view value) {
    if (!BookmarkExists(name)) return false;
    return document_->SetBookmarkText(name, value);
}

bool WordHost::SetBookmarkPicture(std::string_view name, std::shared_ptr<const engine::Picture> picture) {
    if (!BookmarkExists(name) || !picture) return false;
    return document_->SetBookmarkPicture(name, std::move(picture));
}

std::vector<engine::Skip> WordHost::BookmarksLeft() const {
    return document_ ? document_->BookmarksLeft() : std::vector<engine::Skip>{};
}

std::vector<engine::Note> WordHost::BookmarkNotes() const {
    return document_ ? document_->BookmarkNotes() : std::vector<engine::Note>{};
}

std::map<std::string, std::string> WordHost::UnfillableBookmarks() const {
    return document_ ? document_->UnfillableBookmarks() : std::map<std::string, std::string>{};
}

SaveResult WordHost::SaveDocumentAs(std::string_view fileName) {
    if (!document_ || !document_->open() || fileName.empty())
        return SaveFailed("there is no document to save", fileName);
    // Only the office's documents can go away unnoticed: the user may close them or the office.
    if (!IsDocumentOpen()) return SaveFailed("the office's document is gone", fileName);
    return document_->SaveAs(fileName);
}

bool WordHost::PrintDocument(std::string_view jobName) {
    if (!IsDocumentOpen()) return false;
    return document_->Print(jobName.empty() ? currentDocumentName_ : jobName);
}

void WordHost::ForceCloseWord(UserDialogs& dialogs) {
    if (!dialogs.askYesNo(kForceCloseQuestion, kDefaultCaption)) return;
    const std::string script = programFolder_ + "/vbs/closeword.sh";
    if (!FileExists(script)) {
        dialogs.showMessage(kScriptMissing, kDefaultCaption);
        return;
    }
    // The converter's offices are this program's too, and the script ends them with the rest.
    const auto anyRunning = [this] {
        return IsWordRunning() || (converter_ && converter_->OwnOfficesAlive());
    };
    for (int attempt = 0; anyRunning(); ++attempt) {
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
        while (std::chrono::steady_clock::now() < until && anyRunning())
            std::this_thread::sleep_for(kPollInterval);
    }
    // An office's working document went with the office; the next OpenTemplate starts a new one.
    if (document_) document_->OfficeEnded();
    // What is left of every ended office (its connection, its process entry, its profile folder)
    // goes too, rather than waiting for the program's end.
    if (office_) office_->quit();
    if (converter_) converter_->EndOffices();
}

bool WordHost::MakeDocumentFile(std::vector<std::uint8_t>& out, engine::Format& format, std::string& error) {
    if (!IsDocumentOpen()) {
        error = "no document is open";
        return false;
    }
    return document_->MakeFile(out, format, error);
}

void WordHost::SetMoreOffices(OfficeFactory more, int workers) {
    moreOffices_ = std::move(more);
    officeWorkers_ = std::max(1, workers);
    // Made now, so that later calls from any thread find it there.
    converter_.reset();
    Converter();
}

void WordHost::SetOfficeLimits(const OfficeLimits& limits) {
    officeLimits_ = limits;
    if (office_) office_->setLimits(limits);
    if (converter_) converter_->SetLimits(limits);
}

void WordHost::StartConvertingOffices() {
    if (OfficeConverter* converter = Converter()) converter->StartOffices();
}

OfficeConverter* WordHost::Converter() {
    if (!office_) return nullptr;
    if (!converter_) {
        converter_ = std::make_unique<OfficeConverter>(office_.get(), moreOffices_);
        converter_->SetWorkers(officeWorkers_);
        converter_->SetLimits(officeLimits_);
    }
    return converter_.get();
}

void WordHost::QuitWord() {
    if (office_ && office_->running()) office_->quit();
}

}  // namespace qm::word
