#include "word/word_host.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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

// Starts `/bin/sh script` without waiting for it. The intermediate shell puts the script in
// the background and exits at once, so the script is adopted by init and never left a zombie.
bool LaunchDetached(const std::string& script) {
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
    std::string command = "/bin/sh \"$1\" >/dev/null 2>&1 &";
    std::string argv0 = "sh";
    std::string scriptArg = script;
    char* argv[] = {shell.data(), dashC.data(), command.data(), argv0.data(), scriptArg.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", &setup.actions, &setup.attr, argv, environ) != 0) return false;
    // The intermediate shell exits as soon as the script runs in the background.
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

}  // namespace

WordHost::WordHost(std::unique_ptr<AutomationServer> server, std::string programFolder)
    : server_(std::move(server)), programFolder_(std::move(programFolder)) {}

WordHost::~WordHost() {
    QuitWord();
    wordApplication_.reset();
    currentDocumentName_.clear();
}

bool WordHost::IsWordRunning() {
    return server_ && server_->windowExists();
}

void WordHost::ShowWord() {
    if (IsWordRunning() && wordApplication_) wordApplication_->setVisible(true);
}

std::string WordHost::OpenTemplate(std::string_view path) {
    if (path.empty()) return currentDocumentName_;
    if (!FileExists(path)) {
        currentDocumentName_.clear();
        return {};
    }
    if (IsWordRunning()) {
        std::string name = currentDocumentName_;
        if (IsDocumentOpen(name)) {
            if (std::unique_ptr<Document> previous = CurrentDocument()) {
                previous->setSaved(true);
                previous->close();
            }
        }
    } else if (server_) {
        // The held object is replaced only when a new one could be created.
        if (std::unique_ptr<Application> created = server_->createApplication())
            wordApplication_ = std::move(created);
    }
    std::unique_ptr<Document> document;
    if (wordApplication_) {
        if (std::unique_ptr<Documents> documents = wordApplication_->documents())
            document = documents->add(path);
    }
    currentDocumentName_ = document ? document->name() : std::string();
    return currentDocumentName_;
}

bool WordHost::IsDocumentOpen(std::string& name) {
    if (!IsWordRunning()) return false;
    if (name.empty()) name = currentDocumentName_;
    if (!wordApplication_) return false;
    std::unique_ptr<Documents> documents = wordApplication_->documents();
    if (!documents) return false;
    const int count = documents->count();
    for (int i = 1; i <= count; ++i) {
        std::unique_ptr<Document> document = documents->item(i);
        if (document && document->name() == name) return true;
    }
    return false;
}

void WordHost::CloseDocument(std::string& name) {
    if (name.empty()) name = currentDocumentName_;
    if (!wordApplication_ || name.empty()) return;
    std::unique_ptr<Documents> documents = wordApplication_->documents();
    if (!documents) return;
    if (std::unique_ptr<Document> document = documents->item(std::string_view(name))) {
        document->setSaved(true);
        document->close();
    }
}

std::unique_ptr<Document> WordHost::CurrentDocument() {
    if (!wordApplication_ || currentDocumentName_.empty()) return nullptr;
    std::unique_ptr<Documents> documents = wordApplication_->documents();
    if (!documents) return nullptr;
    return documents->item(std::string_view(currentDocumentName_));
}

std::string WordHost::ListBookmarks() {
    std::string name;
    if (!IsDocumentOpen(name)) return {};
    std::unique_ptr<Document> document = CurrentDocument();
    if (!document) return {};
    std::unique_ptr<Bookmarks> bookmarks = document->bookmarks();
    if (!bookmarks) return {};
    std::string list;
    const int count = bookmarks->count();
    for (int i = 1; i <= count; ++i) {
        std::unique_ptr<Bookmark> bookmark = bookmarks->item(i);
        if (i == 1)
            list = bookmark ? bookmark->name() : std::string();
        else
            list += std::string(kListSeparator) + (bookmark ? bookmark->name() : std::string());
    }
    return list;
}

bool WordHost::BookmarkExists(std::string_view name) {
    if (!IsWordRunning() && currentDocumentName_.empty()) return false;
    std::unique_ptr<Document> document = CurrentDocument();
    if (!document) return false;
    std::unique_ptr<Bookmarks> bookmarks = document->bookmarks();
    if (!bookmarks) return false;
    const int count = bookmarks->count();
    for (int i = 1; i <= count; ++i) {
        std::unique_ptr<Bookmark> bookmark = bookmarks->item(i);
        if (bookmark && bookmark->name() == name) return true;
    }
    return false;
}

bool WordHost::SetBookmarkText(std::string_view name, std::string_view value) {
    if (!IsWordRunning()) return false;
    if (!BookmarkExists(name)) return false;
    // The write itself is not checked: the bookmark was found, so the caller counts it filled.
    if (std::unique_ptr<Document> document = CurrentDocument()) {
        if (std::unique_ptr<Bookmarks> bookmarks = document->bookmarks()) {
            if (std::unique_ptr<Bookmark> bookmark = bookmarks->item(name)) {
                if (std::unique_ptr<Range> range = bookmark->range()) range->setText(value);
            }
        }
    }
    return true;
}

bool WordHost::SaveDocumentAs(std::string_view fileName) {
    std::unique_ptr<Document> document = CurrentDocument();
    if (!document) return false;
    // An office that claims success for a file that is not there still counts as a failure.
    return document->saveAs(fileName) && FileExists(fileName);
}

bool WordHost::PrintDocument(std::string& name) {
    if (name.empty()) name = currentDocumentName_;
    if (!wordApplication_ || name.empty()) return false;
    std::unique_ptr<Documents> documents = wordApplication_->documents();
    if (!documents) return false;
    std::unique_ptr<Document> document = documents->item(std::string_view(name));
    return document && document->printOut();
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
        LaunchDetached(script);
        // Give the script time to work before launching it again, but stop waiting as soon as
        // the office has gone.
        const auto until = std::chrono::steady_clock::now() + kPauseBetweenLaunches;
        while (std::chrono::steady_clock::now() < until && IsWordRunning())
            std::this_thread::sleep_for(kPollInterval);
    }
    // The application object and the document name stay: the next OpenTemplate finds no
    // office running and starts a new one.
}

void WordHost::QuitWord() {
    if (IsWordRunning() && wordApplication_) {
        wordApplication_->quit(0);
        wordApplication_.reset();
    }
}

}  // namespace qm::word
