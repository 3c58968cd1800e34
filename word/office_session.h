#pragma once
// One office process and the UNO bridge to it. Private to the LibreOffice implementation: it
// includes the generated UNO headers, which only this folder's build knows about.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm::word {

class OfficeSession {
  public:
    // Starts office process number `serial` of this program, with at most `memory` bytes of
    // address space (0: no limit), and connects to it; nullptr when it cannot be started or does
    // not answer in time.
    static std::shared_ptr<OfficeSession> Start(int serial, std::uint64_t memory = 0);
    ~OfficeSession();
    OfficeSession(const OfficeSession&) = delete;
    OfficeSession& operator=(const OfficeSession&) = delete;

    // True while the process lives and the bridge to it is up. Never blocks.
    bool alive();
    // True when the office answers a call over the bridge. Unlike alive(), it notices an
    // office that was killed a moment ago and has not been collected yet; it can block as
    // long as a busy office takes to answer.
    bool answers();
    // Asks the office to end, waits a bounded time, then kills what is left and removes the
    // profile folder. Safe to call more than once.
    void terminate();

    bool hasDisplay() const { return hasDisplay_; }
    // True for the first seconds after the connection was made: an office that has only just
    // started can still turn a document away while it finishes starting.
    bool starting() const;
    pid_t pid() const { return pid_; }
    const std::string& profileFolder() const { return profileFolder_; }
    const ::com::sun::star::uno::Reference<::com::sun::star::frame::XDesktop2>& desktop() const {
        return desktop_;
    }

    const ::com::sun::star::uno::Reference<::com::sun::star::uno::XComponentContext>& remoteContext() const {
        return remote_;
    }
    const ::com::sun::star::uno::Reference<::com::sun::star::frame::XComponentLoader>& loader() const {
        return loader_;
    }

  private:
    OfficeSession() = default;
    bool spawn();
    bool connect();
    bool reap(bool wait);
    void discardChanges();
    void killGroup();

    std::string pipeName_;
    std::string profileFolder_;
    std::uint64_t memory_ = 0;
    bool hasDisplay_ = false;
    std::chrono::steady_clock::time_point connectedAt_;
    pid_t pid_ = -1;
    bool running_ = false;
    int exitStatus_ = 0;
    std::shared_ptr<std::atomic<bool>> bridgeDown_ = std::make_shared<std::atomic<bool>>(false);
    ::com::sun::star::uno::Reference<::com::sun::star::bridge::XBridge> bridge_;
    ::com::sun::star::uno::Reference<::com::sun::star::frame::XDesktop2> desktop_;
    ::com::sun::star::uno::Reference<::com::sun::star::uno::XComponentContext> remote_;
    ::com::sun::star::uno::Reference<::com::sun::star::frame::XComponentLoader> loader_;
};

}  // namespace qm::word
