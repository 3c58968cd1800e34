#pragma once
// One office process and the UNO bridge to it. Private to the LibreOffice implementation: it
// includes the generated UNO headers, which only this folder's build knows about.

#include <sys/types.h>

#include <atomic>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <memory>
#include <string>
#include <vector>

namespace qm::word {

// What this program holds of one open document. Keeping the interfaces saves the bridge a
// round trip for each look-up; whether the document is still open is always asked anew.
struct DocumentHandles {
    ::com::sun::star::uno::Reference<::com::sun::star::frame::XModel> model;
    ::com::sun::star::uno::Reference<::com::sun::star::frame::XTitle> title;
    // The title as last read; trusted only while the document has never been shown and this
    // program has not saved it since.
    ::rtl::OUString cachedTitle;
    bool titleCached = false;
    bool shown = false;
    // Loaded without a frame (the fast way); such a document is not among the desktop's
    // components until a frame is attached for printing, exporting or showing it.
    bool detached = false;
    ::com::sun::star::uno::Reference<::com::sun::star::container::XNameAccess> bookmarks;
    // Set when the document was exported to a format the office does not adopt as the
    // document's own (PDF): the document is still found by that path.
    std::string exportPath;
};

class OfficeSession {
  public:
    // Starts office process number `serial` of this program and connects to it; nullptr when
    // it cannot be started or does not answer in time.
    static std::shared_ptr<OfficeSession> Start(int serial);
    ~OfficeSession();
    OfficeSession(const OfficeSession&) = delete;
    OfficeSession& operator=(const OfficeSession&) = delete;

    // True while the process lives and the bridge to it is up. Never blocks.
    bool alive();
    // Asks the office to end, waits a bounded time, then kills what is left and removes the
    // profile folder. Safe to call more than once.
    void terminate();

    bool hasDisplay() const { return hasDisplay_; }
    pid_t pid() const { return pid_; }
    const ::com::sun::star::uno::Reference<::com::sun::star::frame::XDesktop2>& desktop() const {
        return desktop_;
    }

    const ::com::sun::star::uno::Reference<::com::sun::star::uno::XComponentContext>& remoteContext() const {
        return remote_;
    }
    const ::com::sun::star::uno::Reference<::com::sun::star::frame::XComponentLoader>& loader() const {
        return loader_;
    }

    // The handles of the documents this program has met, oldest first.
    const std::vector<std::shared_ptr<DocumentHandles>>& known() const { return known_; }
    // The handles of `model`, added when it is met for the first time.
    std::shared_ptr<DocumentHandles> handlesFor(
        const ::com::sun::star::uno::Reference<::com::sun::star::frame::XModel>& model);
    void forget(const std::shared_ptr<DocumentHandles>& handles);

  private:
    OfficeSession() = default;
    bool spawn();
    bool connect();
    bool reap(bool wait);
    void discardChanges();
    void killGroup();

    std::string pipeName_;
    std::string profileFolder_;
    bool hasDisplay_ = false;
    pid_t pid_ = -1;
    bool running_ = false;
    int exitStatus_ = 0;
    std::shared_ptr<std::atomic<bool>> bridgeDown_ = std::make_shared<std::atomic<bool>>(false);
    ::com::sun::star::uno::Reference<::com::sun::star::bridge::XBridge> bridge_;
    ::com::sun::star::uno::Reference<::com::sun::star::frame::XDesktop2> desktop_;
    ::com::sun::star::uno::Reference<::com::sun::star::uno::XComponentContext> remote_;
    ::com::sun::star::uno::Reference<::com::sun::star::frame::XComponentLoader> loader_;
    std::vector<std::shared_ptr<DocumentHandles>> known_;
};

}  // namespace qm::word
