#include "word/libreoffice.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <com/sun/star/awt/PosSize.hpp>
#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/awt/XToolkit.hpp>
#include <com/sun/star/awt/XTopWindow2.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/awt/XWindowPeer.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLoadable.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/XPrintable.hpp>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <osl/file.hxx>
#include <rtl/ustring.hxx>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/fs.h"
#include "common/large_memory.h"
#include "common/text.h"
#include "word/call_watch.h"
#include "word/office.h"
#include "word/office_session.h"

namespace qm::word {

namespace {

namespace css = ::com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using ::rtl::OUString;
using ::rtl::OUStringToOString;

OUString ToOUString(std::string_view text) {
    return OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

std::string ToUtf8(const OUString& text) {
    return OUStringToOString(text, RTL_TEXTENCODING_UTF8).getStr();
}

// A file URL for a path; relative paths count from the working folder.
OUString ToFileUrl(std::string_view path) {
    std::error_code ec;
    std::filesystem::path absolute =
        std::filesystem::absolute(std::filesystem::path(std::u8string(path.begin(), path.end())), ec);
    if (ec) return OUString();
    const std::u8string text = absolute.lexically_normal().u8string();
    OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(
            ToOUString(std::string_view(reinterpret_cast<const char*>(text.data()), text.size())), url) !=
        osl::FileBase::E_None)
        return OUString();
    return url;
}

css::beans::PropertyValue Property(const char* name, Any value) {
    css::beans::PropertyValue property;
    property.Name = OUString::createFromAscii(name);
    property.Value = std::move(value);
    return property;
}

Sequence<css::beans::PropertyValue> Arguments(std::initializer_list<css::beans::PropertyValue> list) {
    return Sequence<css::beans::PropertyValue>(list.begin(), static_cast<sal_Int32>(list.size()));
}

// The import filter a template's extension promises. A file that does not match its
// extension fails with it and is then loaded with the office's own type detection.
const char* ImportFilterFor(std::string_view path) {
    const std::string extension = LowerExtension(path);
    if (extension == ".doc") return "MS Word 97";
    if (extension == ".dot") return "MS Word 97 Vorlage";
    if (extension == ".docx") return "MS Word 2007 XML";
    if (extension == ".odt") return "writer8";
    if (extension == ".ott") return "writer8_template";
    if (extension == ".fodt") return "OpenDocument Text Flat XML";
    return nullptr;
}

// Export filters cannot rename the document, so they are written with storeToURL.
struct SaveFilter {
    const char* name;
    bool exportOnly;
};

SaveFilter FilterFor(std::string_view path) {
    const std::string extension = LowerExtension(path);
    if (extension == ".docx") return {"MS Word 2007 XML", false};
    if (extension == ".odt") return {"writer8", false};
    if (extension == ".pdf") return {"writer_pdf_Export", true};
    // ".doc" and anything unknown: the program's own format.
    return {"MS Word 97", false};
}

// The peak of a process's address space, in bytes; 0 when it cannot be read.
std::uint64_t PeakMemoryOf(pid_t pid) {
    std::vector<std::uint8_t> status;
    if (pid <= 0 || !ReadFileBytes("/proc/" + std::to_string(pid) + "/status", status)) return 0;
    const std::string text(status.begin(), status.end());
    const std::size_t at = text.find("VmPeak:");
    if (at == std::string::npos) return 0;
    return std::strtoull(text.c_str() + at + 7, nullptr, 10) * 1024;
}

// An office seen at this share of its memory limit before it ended had run out of it: an
// allocation that fails asks for more than the little that is left.
constexpr double kNearTheLimit = 0.85;

// ---------------------------------------------------------------------------------------------

class LoOffice final : public Office {
  public:
    explicit LoOffice(int slot) : slot_(slot) {}
    ~LoOffice() override {
        quit();
        std::error_code ignored;
        if (!scratchFolder_.empty()) std::filesystem::remove_all(scratchFolder_, ignored);
    }

    bool running() override { return session_ && session_->alive(); }

    void setLimits(const OfficeLimits& limits) override { limits_ = limits; }
    std::uint64_t memoryLimit() const override { return limits_.memory; }

    OfficeEnd takeEnd() override {
        if (session_ && !session_->alive()) NoteEnd();
        if (ends_.empty()) return OfficeEnd::None;
        const OfficeEnd end = ends_.front();
        ends_.erase(ends_.begin());
        return end;
    }

    bool startUp() override {
        try {
            return start();
        } catch (...) {
            return false;
        }
    }

    DocumentId openTemplate(std::string_view path) override {
        if (const DocumentId id = openOnce(path)) return id;
        if (!session_) return 0;
        // An office that was closed or killed a moment ago can still look alive until its
        // process is collected; the load then fails on the broken bridge. Once more on a new one.
        if (!session_->answers()) {
            NoteEnd();
            session_->terminate();
            if (const DocumentId id = openOnce(path)) return id;
        }
        // One that has only just started can turn the first load away while it finishes
        // starting, more often on a busy machine: it is asked again for a few seconds.
        for (const auto pause : {250, 500, 1000, 2000, 4000}) {
            if (!session_ || !session_->answers() || !session_->starting()) break;
            if (::access(std::string(path).c_str(), R_OK) != 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
            if (const DocumentId id = openOnce(path)) return id;
        }
        return 0;
    }

    DocumentId openOnce(std::string_view path) {
        try {
            if (!start()) return 0;
            const OUString url = ToFileUrl(path);
            if (url.isEmpty()) return 0;
            Document doc;
            doc.bytes = static_cast<std::uint64_t>(std::max<std::int64_t>(StampOf(path).size, 0));
            const CallWatch::Armed watch = Watch(doc.bytes);
            doc.model = LoadDetached(url, ImportFilterFor(path));
            doc.detached = doc.model.is();
            if (!doc.model.is()) {
                Reference<css::lang::XComponent> component = session_->loader()->loadComponentFromURL(
                    url, "_blank", 0,
                    Arguments({Property("AsTemplate", Any(true)), Property("Hidden", Any(true)),
                               Property("MacroExecutionMode", Any(sal_Int16(0))),
                               Property("UpdateDocMode", Any(sal_Int16(0))),
                               Property("PickListEntry", Any(false))}));
                doc.model.set(component, UNO_QUERY);
                if (!doc.model.is()) {
                    if (component.is()) component->dispose();
                    return 0;
                }
            }
            const DocumentId id = next_++;
            documents_[id] = std::move(doc);
            return id;
        } catch (...) {
            return 0;
        }
    }

    bool isOpen(DocumentId id) override { return find(id) != nullptr; }

    std::string title(DocumentId id) override {
        const CallWatch::Armed watch = WatchDocument(id);
        Document* doc = find(id);
        if (!doc) return {};
        try {
            Reference<css::frame::XTitle> title(doc->model, UNO_QUERY);
            return title.is() ? ToUtf8(title->getTitle()) : std::string();
        } catch (...) {
            return {};
        }
    }

    std::vector<std::string> bookmarkNames(DocumentId id) override {
        std::vector<std::string> names;
        const CallWatch::Armed watch = WatchDocument(id);
        Document* doc = find(id);
        if (!doc) return names;
        try {
            if (Reference<css::container::XNameAccess> all = bookmarks(*doc); all.is())
                for (const OUString& name : all->getElementNames()) names.push_back(ToUtf8(name));
        } catch (...) {
            names.clear();
        }
        return names;
    }

    bool setBookmarkText(DocumentId id, std::string_view name, std::string_view value) override {
        const CallWatch::Armed watch = WatchDocument(id);
        Document* doc = find(id);
        if (!doc) return false;
        try {
            Reference<css::container::XNameAccess> all = bookmarks(*doc);
            const OUString wanted = ToOUString(name);
            if (!all.is() || !all->hasByName(wanted)) return false;
            Reference<css::text::XTextContent> content(all->getByName(wanted), UNO_QUERY);
            if (!content.is()) return false;
            Reference<css::text::XTextRange> anchor = content->getAnchor();
            if (!anchor.is()) return false;
            // Setting the anchor's text would leave a point bookmark before the value and drop
            // one whose text is replaced; the bookmark is made again around the value instead,
            // so that every bookmark is still there and spans what was written.
            Reference<css::text::XText> text = anchor->getText();
            Reference<css::lang::XMultiServiceFactory> factory(doc->model, UNO_QUERY);
            Reference<css::text::XTextCursor> cursor =
                text.is() ? text->createTextCursorByRange(anchor) : Reference<css::text::XTextCursor>();
            if (!cursor.is() || !factory.is()) {
                anchor->setString(ToOUString(value));
                return true;
            }
            cursor->setString(ToOUString(value));
            Reference<css::text::XTextContent> again(factory->createInstance("com.sun.star.text.Bookmark"),
                                                     UNO_QUERY);
            Reference<css::container::XNamed> named(again, UNO_QUERY);
            if (!again.is() || !named.is()) return true;
            text->removeTextContent(content);
            named->setName(wanted);
            text->insertTextContent(Reference<css::text::XTextRange>(cursor, UNO_QUERY), again, true);
            return true;
        } catch (...) {
            return false;
        }
    }

    bool saveAs(DocumentId id, std::string_view path) override {
        const CallWatch::Armed watch = WatchDocument(id);
        Document* doc = find(id);
        if (!doc || path.empty()) return false;
        const OUString url = ToFileUrl(path);
        if (url.isEmpty()) return false;
        // The office would create missing folders on the way; a mistyped folder must fail
        // instead of leaving documents somewhere nobody looks.
        std::error_code ec;
        const std::filesystem::path target(std::u8string(path.begin(), path.end()));
        if (!std::filesystem::is_directory(std::filesystem::absolute(target, ec).parent_path(), ec))
            return false;
        const SaveFilter filter = FilterFor(path);
        try {
            Reference<css::frame::XStorable> storable(doc->model, UNO_QUERY);
            if (!storable.is()) return false;
            const Sequence<css::beans::PropertyValue> arguments =
                Arguments({Property("FilterName", Any(OUString::createFromAscii(filter.name))),
                           Property("Overwrite", Any(true)), Property("PickListEntry", Any(false))});
            if (filter.exportOnly) {
                if (!AttachFrame(*doc, true)) return false;
                storable->storeToURL(url, arguments);
            } else {
                // A copy: the working document keeps its own name and place.
                storable->storeToURL(url, arguments);
            }
            return true;
        } catch (...) {
            return false;
        }
    }

    bool exportPdfWithMarks(DocumentId id, std::string_view path) override {
        const CallWatch::Armed watch = WatchDocument(id);
        Document* doc = find(id);
        if (!doc || path.empty()) return false;
        const OUString url = ToFileUrl(path);
        if (url.isEmpty()) return false;
        try {
            Reference<css::frame::XStorable> storable(doc->model, UNO_QUERY);
            if (!storable.is() || !AttachFrame(*doc, true)) return false;
            const Sequence<css::beans::PropertyValue> filterData =
                Arguments({Property("ExportBookmarksToPDFDestination", Any(true))});
            storable->storeToURL(
                url, Arguments({Property("FilterName", Any(OUString("writer_pdf_Export"))),
                                Property("FilterData", Any(filterData)), Property("Overwrite", Any(true))}));
            return true;
        } catch (...) {
            return false;
        }
    }

    bool print(DocumentId id, std::string_view jobName) override {
        const CallWatch::Armed watch = WatchDocument(id);
        Document* doc = find(id);
        if (!doc) return false;
        std::error_code ignored;
        try {
            Reference<css::view::XPrintable> printable(doc->model, UNO_QUERY);
            if (!printable.is() || !AttachFrame(*doc, true)) return false;
            // Without a printer the office drops the job without a word; that is a failure.
            OUString printerName;
            const Sequence<css::beans::PropertyValue> printer = printable->getPrinter();
            for (const css::beans::PropertyValue& property : printer)
                if (property.Name == "Name") property.Value >>= printerName;
            if (printerName.isEmpty()) return false;
            // The office calls a print job, and the PDF a printer makes of it, after the
            // document's file name; a document made from a template has none ("Untitled 1").
            // So the document is first stored under the job's name in a folder of our own.
            const std::string named = nameForPrint(jobName);
            if (!named.empty()) {
                try {  // a name the file system refuses leaves the job unnamed, not unprinted
                    Reference<css::frame::XStorable> storable(doc->model, UNO_QUERY);
                    if (storable.is())
                        storable->storeAsURL(ToFileUrl(named),
                                             Arguments({Property("FilterName", Any(OUString("writer8"))),
                                                        Property("Overwrite", Any(true))}));
                } catch (const css::uno::RuntimeException&) {
                    throw;  // the office went away
                } catch (...) {
                }
            }
            printable->print(Arguments({Property("Wait", Any(true))}));
            if (!named.empty()) std::filesystem::remove(named, ignored);
            return true;
        } catch (...) {
            return false;
        }
    }

    void close(DocumentId id) override {
        auto it = documents_.find(id);
        if (it == documents_.end()) return;
        const CallWatch::Armed watch = Watch(it->second.bytes);
        Reference<css::frame::XModel> model = it->second.model;
        documents_.erase(it);
        if (!running()) return;
        try {
            Reference<css::util::XModifiable> modifiable(model, UNO_QUERY);
            if (modifiable.is()) modifiable->setModified(false);
            Reference<css::util::XCloseable> closeable(model, UNO_QUERY);
            if (closeable.is()) {
                closeable->close(true);
            } else if (Reference<css::lang::XComponent> component(model, UNO_QUERY); component.is()) {
                component->dispose();
            }
        } catch (...) {
        }
    }

    void show() override {
        if (!running() || !session_->hasDisplay()) return;
        const CallWatch::Armed watch = Watch(0);
        for (auto it = documents_.begin(); it != documents_.end();) {
            Document& doc = it->second;
            try {
                // A hidden frame first, placed and sized before it is seen: the office's own
                // choice is a maximized window that covers the program's.
                if (doc.detached) AttachFrame(doc, true);
                Reference<css::frame::XController> controller = doc.model->getCurrentController();
                Reference<css::frame::XFrame> frame = controller.is() ? controller->getFrame() : nullptr;
                Reference<css::awt::XWindow> window = frame.is() ? frame->getContainerWindow() : nullptr;
                if (window.is()) {
                    PlaceWindow(window);
                    window->setVisible(true);
                }
                ++it;
            } catch (...) {
                it = documents_.erase(it);  // closed by the user meanwhile
            }
        }
    }

    void quit() override {
        documents_.clear();
        if (session_) session_->terminate();
        session_.reset();
    }

  private:
    struct Document {
        Reference<css::frame::XModel> model;
        Reference<css::container::XNameAccess> bookmarks;
        // Loaded without a frame (the fast way): printing, PDF export and showing attach one.
        bool detached = false;
        std::uint64_t bytes = 0;  // of the file it was loaded from
    };

    // The time limit for a call on document `id` (any call, when it is not known).
    CallWatch::Armed WatchDocument(DocumentId id) {
        const auto it = documents_.find(id);
        return Watch(it == documents_.end() ? 0 : it->second.bytes);
    }

    // A time limit for one call on a document of `bytes`, as the limits say: the office's
    // process is ended when it passes, which makes the call fail. Its memory is sampled
    // meanwhile, so that an end at the memory limit can be told from a crash.
    CallWatch::Armed Watch(std::uint64_t bytes) {
        const pid_t pid = session_ ? session_->pid() : -1;
        if (pid <= 0) return CallWatch::Armed(nullptr);
        const auto limit =
            std::chrono::milliseconds(limits_.answer) +
            std::chrono::milliseconds(static_cast<std::int64_t>(
                static_cast<double>(std::chrono::milliseconds(limits_.answerPerMegabyte).count()) *
                static_cast<double>(bytes) / (1024.0 * 1024.0)));
        // Only a process that is still this session's is ended: one collected meanwhile may
        // have passed its number on, but never its command line with this profile.
        const std::string profile = session_->profileFolder();
        return watch_.Arm(
            limit,
            [this, pid, profile] {
                std::vector<std::uint8_t> command;
                if (!ReadFileBytes("/proc/" + std::to_string(pid) + "/cmdline", command)) return;
                if (std::string(command.begin(), command.end()).find(profile) == std::string::npos) return;
                killedLate_ = true;
                ::kill(-pid, SIGKILL);
            },
            [this, pid] {
                if (const std::uint64_t peak = PeakMemoryOf(pid); peak > peak_) peak_ = peak;
            });
    }

    // Notes how the session ended, unasked: once for each session.
    void NoteEnd() {
        if (!session_ || endTold_) return;
        endTold_ = true;
        if (killedLate_)
            ends_.push_back(OfficeEnd::NoAnswer);
        else if (limits_.memory > 0 &&
                 static_cast<double>(peak_.load()) >= kNearTheLimit * static_cast<double>(limits_.memory))
            ends_.push_back(OfficeEnd::OutOfMemory);
        else
            ends_.push_back(OfficeEnd::Stopped);
    }

    bool start() {
        if (running()) return true;
        if (session_) {
            NoteEnd();
            session_->terminate();
        }
        documents_.clear();
        // Serials of different slots never meet: a slot's offices count from slot × 10,000.
        killedLate_ = false;
        peak_ = 0;
        endTold_ = false;
        session_ = OfficeSession::Start(slot_ * 10000 + ++started_, limits_.memory);
        return session_ && session_->loader().is();
    }

    // The document behind `id` while the office runs and the document is open: the user may
    // have closed it in the office's window, which disposes its model.
    Document* find(DocumentId id) {
        auto it = documents_.find(id);
        if (it == documents_.end()) return nullptr;
        if (!running()) {
            documents_.erase(it);
            return nullptr;
        }
        try {
            const CallWatch::Armed watch = Watch(it->second.bytes);
            it->second.model->getURL();
            return &it->second;
        } catch (...) {
            documents_.erase(it);
            return nullptr;
        }
    }

    Reference<css::container::XNameAccess> bookmarks(Document& doc) {
        if (!doc.bookmarks.is()) {
            Reference<css::text::XBookmarksSupplier> supplier(doc.model, UNO_QUERY);
            if (supplier.is()) doc.bookmarks = supplier->getBookmarks();
        }
        return doc.bookmarks;
    }

    // A normal window of two thirds of the work area, near its top left corner: never
    // maximized, and leaving room to see the program's window beside it.
    static void PlaceWindow(const Reference<css::awt::XWindow>& window) {
        Reference<css::awt::XTopWindow2> top(window, UNO_QUERY);
        if (top.is() && top->getIsMaximized()) top->setIsMaximized(false);
        css::awt::Rectangle area(0, 0, 1024, 768);
        Reference<css::awt::XWindowPeer> peer(window, UNO_QUERY);
        Reference<css::awt::XToolkit> toolkit = peer.is() ? peer->getToolkit() : nullptr;
        if (toolkit.is()) {
            const css::awt::Rectangle work = toolkit->getWorkArea();
            if (work.Width > 0 && work.Height > 0) area = work;
        }
        window->setPosSize(area.X + area.Width / 24, area.Y + area.Height / 24, area.Width * 2 / 3,
                           area.Height * 3 / 4, css::awt::PosSize::POSSIZE);
    }

    // Gives a document loaded without a frame a frame of its own (hidden or shown).
    bool AttachFrame(Document& doc, bool hidden) {
        if (!doc.detached) return true;
        Reference<css::lang::XComponent> component = session_->loader()->loadComponentFromURL(
            "private:object", "_blank", 0,
            Arguments({Property("Model", Any(doc.model)), Property("Hidden", Any(hidden))}));
        if (!component.is()) return false;
        doc.detached = false;
        return true;
    }

    // A frame and its window cost the office more than reading a small template, so a template
    // whose format the extension names is read into a document of its own, without a frame;
    // never runs macros nor refreshes links. An empty reference when that does not work.
    std::string scratchFolder() override {
        if (scratchFolder_.empty()) scratchFolder_ = MakePrivateFolder("quillmerge-office-files");
        return scratchFolder_;
    }

    // "<scratch folder>/<jobName>", with characters no file name may hold replaced; "" when the
    // job has no name or the folder cannot be made.
    std::string nameForPrint(std::string_view jobName) {
        if (jobName.empty() || scratchFolder().empty()) return {};
        std::string name(jobName);
        for (char& c : name)
            if (c == '/' || (static_cast<unsigned char>(c) < 0x20)) c = '_';
        if (name == "." || name == "..") name = "_";
        return scratchFolder_ + "/" + name;
    }

    Reference<css::frame::XModel> LoadDetached(const OUString& url, const char* filter) {
        if (!filter || !session_->remoteContext().is()) return {};
        Reference<css::frame::XModel> model;
        try {
            model.set(session_->remoteContext()->getServiceManager()->createInstanceWithContext(
                          "com.sun.star.text.TextDocument", session_->remoteContext()),
                      UNO_QUERY);
            Reference<css::frame::XLoadable> loadable(model, UNO_QUERY);
            if (!loadable.is()) return {};
            loadable->load(Arguments({Property("URL", Any(url)), Property("AsTemplate", Any(true)),
                                      Property("FilterName", Any(OUString::createFromAscii(filter))),
                                      Property("MacroExecutionMode", Any(sal_Int16(0))),
                                      Property("UpdateDocMode", Any(sal_Int16(0))),
                                      Property("PickListEntry", Any(false))}));
            return model;
        } catch (...) {
            try {
                Reference<css::util::XCloseable> closeable(model, UNO_QUERY);
                if (closeable.is()) closeable->close(true);
            } catch (...) {
            }
            return {};
        }
    }

    const int slot_;
    OfficeLimits limits_;
    std::atomic<bool> killedLate_{false};  // the session's process was ended for not answering
    std::atomic<std::uint64_t> peak_{0};   // the most memory it was seen to take
    bool endTold_ = false;                 // how the session ended is noted in ends_
    std::vector<OfficeEnd> ends_;          // sessions that ended unasked, not yet told
    // Its thread uses the two above, so it ends before them.
    CallWatch watch_;
    std::shared_ptr<OfficeSession> session_;
    std::string scratchFolder_;  // made when first needed, removed with the office
    int started_ = 0;
    DocumentId next_ = 1;
    std::map<DocumentId, Document> documents_;
};

}  // namespace

std::uint64_t DefaultOfficeMemory() {
    return std::max<std::uint64_t>(MachineMemory() / 2, std::uint64_t{1536} << 20);
}

int DefaultOfficeWorkers() {
    // Each office takes a few hundred megabytes: past four, a desktop would give more memory
    // than the conversions gain.
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min(cores, 4u));
}

std::unique_ptr<Office> MakeLibreOffice(int slot) {
    return std::make_unique<LoOffice>(slot);
}

}  // namespace qm::word
