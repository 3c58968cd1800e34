#include "word/office_session.h"

#include <fcntl.h>
#include <rtl/digest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <rtl/bootstrap.hxx>
#include <thread>
#include <vector>

#include "word/spawn_setup.h"

extern char** environ;

#ifndef QM_LO_PROGRAM_DIR
#define QM_LO_PROGRAM_DIR "/usr/lib/libreoffice/program"
#endif

namespace qm::word {

namespace {

namespace css = ::com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using ::rtl::OUString;
using ::rtl::OUStringToOString;

using Clock = std::chrono::steady_clock;

constexpr auto kConnectTimeout = std::chrono::seconds(60);
constexpr auto kConnectRetry = std::chrono::milliseconds(100);
constexpr auto kQuitTimeout = std::chrono::seconds(10);
constexpr auto kKillTimeout = std::chrono::seconds(5);
constexpr auto kStartingTime = std::chrono::seconds(30);
// soffice.bin asks to be started again with this exit code (normally its launcher does it).
constexpr int kRestartRequested = 81;

// The local UNO runtime, created once for the whole program: it only holds the bridge and
// connector services and the type library, never anything of a particular office process.
Reference<css::uno::XComponentContext> LocalContext() {
    static std::once_flag once;
    static Reference<css::uno::XComponentContext> context;
    std::call_once(once, [] {
        // The bridge writes to a socket whose reader may have died a moment ago (an office
        // killed by the user or by the close script); that must be an error, not the end of
        // this program. Only the default action is replaced, never a handler someone set.
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGPIPE, &ignore, nullptr);
        }
        try {
            const OUString program = OUString::createFromAscii("file://" QM_LO_PROGRAM_DIR);
            rtl::Bootstrap::set("URE_MORE_TYPES", program + "/types/offapi.rdb");
            context = cppu::defaultBootstrap_InitialComponentContext(program + "/unorc");
        } catch (...) {
            context.clear();
        }
    });
    return context;
}

// Settings of the private profile: no background spell checking and no automatic recovery
// copies, both of which would spend the office's time on every working document.
constexpr const char* kProfileSettings = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Linguistic/SpellChecking"><prop oor:name="IsSpellAuto" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/AutoSave"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/RecoveryInfo"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Save/Document"><prop oor:name="CreateBackup" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
)";

void WriteProfileSettings(const std::string& profileFolder) {
    std::error_code ec;
    std::filesystem::create_directories(profileFolder + "/user", ec);
    // The office's own temporary files go here, and so go with the profile.
    std::filesystem::create_directories(profileFolder + "/tmp", ec);
    if (ec) return;
    std::ofstream(profileFolder + "/user/registrymodifications.xcu") << kProfileSettings;
}

class BridgeWatch final : public cppu::WeakImplHelper1<css::lang::XEventListener> {
  public:
    explicit BridgeWatch(std::shared_ptr<std::atomic<bool>> down) : down_(std::move(down)) {}
    void SAL_CALL disposing(const css::lang::EventObject&) override { down_->store(true); }

  private:
    std::shared_ptr<std::atomic<bool>> down_;
};

}  // namespace

namespace {

std::string PipeSocketPath(const std::string& pipeName) {
    return "/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + pipeName;
}

// The office also opens a pipe of its own that says "an office runs on this profile"; its name
// is made from the MD5 of the profile's URL in UTF-16, each byte written in hex without
// padding. An office that is killed leaves it behind.
std::string InstancePipeSocketPath(const std::string& profileFolder) {
    const OUString url = OUString::fromUtf8(("file://" + profileFolder).c_str());
    sal_uInt8 digest[RTL_DIGEST_LENGTH_MD5];
    if (rtl_digest_MD5(url.getStr(), static_cast<sal_uInt32>(url.getLength() * sizeof(sal_Unicode)), digest,
                       sizeof digest) != rtl_Digest_E_None)
        return {};
    std::string hash;
    static constexpr char kHex[] = "0123456789abcdef";
    for (sal_uInt8 byte : digest) {
        if (byte >= 16) hash += kHex[byte >> 4];
        hash += kHex[byte & 15];
    }
    return PipeSocketPath("SingleOfficeIPC_" + hash);
}

// Removes a profile folder and the pipes its office may have left.
void RemoveProfile(const std::string& profileFolder, const std::string& pipeName) {
    std::error_code ec;
    std::filesystem::remove_all(profileFolder, ec);
    if (!pipeName.empty()) std::filesystem::remove(PipeSocketPath(pipeName), ec);
    const std::string instancePipe = InstancePipeSocketPath(profileFolder);
    if (!instancePipe.empty()) std::filesystem::remove(instancePipe, ec);
}

// A program that was killed could not end its office's leftovers: its profile folder and the
// office's pipe socket. They carry that program's process id; once no such process exists
// they belong to nobody and are removed, once per run.
void SweepLeftovers() {
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string profilePrefix = "quillmerge-office-";
        const std::string pipePrefix = "OSL_PIPE_" + std::to_string(getuid()) + "_quillmerge_";
        std::error_code ec;
        std::filesystem::directory_iterator it("/tmp", ec);
        for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            const std::filesystem::directory_entry& entry = *it;
            const std::string name = entry.path().filename().string();
            std::string rest;
            if (name.starts_with(profilePrefix))
                rest = name.substr(profilePrefix.size());
            else if (name.starts_with(pipePrefix))
                rest = name.substr(pipePrefix.size());
            else
                continue;
            const std::size_t digits = rest.find_first_not_of("0123456789");
            if (digits == 0 || digits == std::string::npos) continue;
            // More digits than a process id has: not one of ours.
            if (digits > 9) continue;
            const pid_t owner = static_cast<pid_t>(std::stol(rest.substr(0, digits)));
            if (owner == getpid() || ::kill(owner, 0) == 0 || errno != ESRCH) continue;
            if (name.starts_with(profilePrefix)) {
                RemoveProfile(entry.path().string(), {});
            } else {
                std::error_code removeError;
                std::filesystem::remove(entry.path(), removeError);
            }
        }
    });
}

}  // namespace

std::shared_ptr<OfficeSession> OfficeSession::Start(int serial, std::uint64_t memory) {
    if (!LocalContext().is()) return nullptr;
    SweepLeftovers();
    std::shared_ptr<OfficeSession> session(new OfficeSession());
    const std::string id = std::to_string(getpid()) + "_" + std::to_string(serial);
    session->pipeName_ = "quillmerge_" + id;
    session->memory_ = memory;
    session->profileFolder_ =
        "/tmp/quillmerge-office-" + std::to_string(getpid()) + "-" + std::to_string(serial);
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    session->hasDisplay_ = (display && *display) || (wayland && *wayland);
    std::error_code ec;
    std::filesystem::remove_all(session->profileFolder_, ec);
    if (session->spawn() && session->connect()) return session;
    session->terminate();
    if (!session->hasDisplay_) return nullptr;
    // A display that cannot be opened ends the office at once; it can still work without one.
    session->hasDisplay_ = false;
    if (session->spawn() && session->connect()) return session;
    session->terminate();
    return nullptr;
}

OfficeSession::~OfficeSession() {
    terminate();
}

bool OfficeSession::spawn() {
    WriteProfileSettings(profileFolder_);
    const std::string office = QM_LO_PROGRAM_DIR "/soffice.bin";
    // The office must not outlive this program even when the program is killed: setpriv makes
    // the kernel end it when the thread that started it ends (all office calls come from one
    // thread, the one that also started it).
    const std::string setpriv = "/usr/bin/setpriv";
    const bool guarded = ::access(setpriv.c_str(), X_OK) == 0;
    const std::string program = guarded ? setpriv : office;
    std::vector<std::string> args;
    if (guarded) args = {setpriv, "--pdeathsig", "KILL", "--"};
    args.insert(args.end(), {
                                office,
                                hasDisplay_ ? "--invisible" : "--headless",
                                "--norestore",
                                "--nologo",
                                "--nodefault",
                                "--nolockcheck",
                                "-env:UserInstallation=file://" + profileFolder_,
                                "--accept=pipe,name=" + pipeName_ + ";urp;StarOffice.ComponentContext",
                            });
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    // A process group of its own, so everything it starts can be ended together; the default
    // SIGPIPE action and an empty signal mask, whatever this program set for itself.
    posix_spawnattr_setflags(&setup.attr,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&setup.attr, 0);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&setup.attr, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&setup.attr, &signals);
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
    // Inherited pipes (a test runner's output, for one) would stay open as long as the office.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    // The office's temporary folder is the profile's, removed with it: what it leaves there
    // when it is killed does not pile up in the user's.
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry)
        if (!std::string_view(*entry).starts_with("TMPDIR=") &&
            !std::string_view(*entry).starts_with("TMP=") && !std::string_view(*entry).starts_with("TEMP="))
            environment.emplace_back(*entry);
    environment.push_back("TMPDIR=" + profileFolder_ + "/tmp");
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attr, argv.data(), envp.data()) != 0)
        return false;
    if (memory_ > 0) {
        // Set before the office has taken much: the limit passes on to what it starts and over
        // the exec of setpriv. An office that asks for more then fails, instead of taking the
        // memory of the user's other programs.
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(memory_);
        ::prlimit(pid, RLIMIT_AS, &limit, nullptr);
    }
    pid_ = pid;
    running_ = true;
    // A watch left on an earlier bridge must not mark this process as gone.
    bridgeDown_ = std::make_shared<std::atomic<bool>>(false);
    return true;
}

bool OfficeSession::connect() {
    const Reference<css::uno::XComponentContext> local = LocalContext();
    const auto deadline = Clock::now() + kConnectTimeout;
    int restarts = 0;
    try {
        const Reference<css::connection::XConnector> connector = css::connection::Connector::create(local);
        const Reference<css::bridge::XBridgeFactory2> factory = css::bridge::BridgeFactory::create(local);
        while (Clock::now() < deadline) {
            if (!reap(false) && !running_) {
                // A fresh profile can make the office ask for a restart once.
                const bool restart = WIFEXITED(exitStatus_) && WEXITSTATUS(exitStatus_) == kRestartRequested;
                if (!restart || ++restarts > 2 || !spawn()) return false;
            }
            try {
                const Reference<css::connection::XConnection> connection =
                    connector->connect(OUString::createFromAscii(("pipe,name=" + pipeName_).c_str()));
                bridge_ = factory->createBridge(OUString(), "urp", connection, nullptr);
                Reference<css::lang::XComponent>(bridge_, css::uno::UNO_QUERY_THROW)
                    ->addEventListener(new BridgeWatch(bridgeDown_));
                const Reference<css::uno::XComponentContext> remote(
                    bridge_->getInstance("StarOffice.ComponentContext"), css::uno::UNO_QUERY_THROW);
                remote_ = remote;
                desktop_ = css::frame::Desktop::create(remote);
                loader_.set(desktop_, UNO_QUERY);
                if (desktop_.is() && loader_.is()) {
                    connectedAt_ = Clock::now();
                    return true;
                }
            } catch (const css::uno::Exception&) {
                if (bridge_.is()) {
                    try {
                        Reference<css::lang::XComponent>(bridge_, css::uno::UNO_QUERY_THROW)->dispose();
                    } catch (...) {
                    }
                }
                bridge_.clear();
                bridgeDown_->store(false);
            }
            std::this_thread::sleep_for(kConnectRetry);
        }
    } catch (...) {
    }
    return false;
}

void OfficeSession::discardChanges() {
    try {
        Reference<css::container::XEnumeration> it = desktop_->getComponents()->createEnumeration();
        while (it.is() && it->hasMoreElements()) {
            Reference<css::util::XModifiable> document(it->nextElement(), UNO_QUERY);
            try {
                if (document.is()) document->setModified(false);
            } catch (...) {
            }
        }
    } catch (...) {
    }
}

// Collects the child's exit status; true while it still runs.
bool OfficeSession::reap(bool wait) {
    if (!running_) return false;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid_, &status, wait ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return true;
    if (result == pid_) exitStatus_ = status;
    // ECHILD: someone else collected it; it is gone either way.
    running_ = false;
    return false;
}

bool OfficeSession::alive() {
    // Collected as soon as it has ended, also when the bridge went down first.
    const bool running = reap(false);
    return running && !bridgeDown_->load();
}

bool OfficeSession::starting() const {
    return Clock::now() - connectedAt_ < kStartingTime;
}

bool OfficeSession::answers() {
    if (!alive() || !desktop_.is()) return false;
    try {
        desktop_->getComponents();
        return true;
    } catch (...) {
        return false;
    }
}

void OfficeSession::killGroup() {
    if (pid_ > 0) ::kill(-pid_, SIGKILL);
}

void OfficeSession::terminate() {
    loader_.clear();
    remote_.clear();
    if (running_ && desktop_.is() && !bridgeDown_->load()) {
        // A remote call has no time limit of its own, so the requests run beside us; an office
        // that has not ended in time (hung, or stopped) is killed below, which also releases
        // the calls.
        std::thread request;
        try {
            request = std::thread([this] {
                try {
                    // Ending without saving: a document that counts as modified would make a
                    // visible office ask whether to save it, and nobody would answer.
                    discardChanges();
                    desktop_->terminate();
                } catch (...) {
                    // The bridge going down while the office ends is the normal outcome.
                }
            });
        } catch (...) {
            // No thread to ask with: the office is killed below.
        }
        const auto deadline = Clock::now() + kQuitTimeout;
        while (request.joinable() && reap(false) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (running_) killGroup();
        if (request.joinable()) request.join();
    }
    desktop_.clear();
    if (bridge_.is()) {
        try {
            Reference<css::lang::XComponent>(bridge_, css::uno::UNO_QUERY_THROW)->dispose();
        } catch (...) {
        }
        bridge_.clear();
    }
    if (running_) {
        killGroup();
        const auto deadline = Clock::now() + kKillTimeout;
        while (reap(false) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Helpers the office may have started share its process group.
    killGroup();
    // One that has still not ended is no longer ours to wait for: with no process id left, a
    // later wait would collect any child of this program.
    running_ = false;
    pid_ = -1;
    // An office that was killed leaves its pipe sockets behind.
    if (!profileFolder_.empty()) RemoveProfile(profileFolder_, pipeName_);
}

}  // namespace qm::word
