#include "word/libreoffice.h"

#include <algorithm>
#include <cctype>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLoadable.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/XPrintable.hpp>
#include <filesystem>
#include <optional>
#include <osl/file.hxx>
#include <rtl/ustring.hxx>
#include <string>
#include <utility>
#include <vector>

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

std::string ToSystemPath(const OUString& url) {
    if (url.isEmpty()) return {};
    OUString path;
    if (osl::FileBase::getSystemPathFromFileURL(url, path) != osl::FileBase::E_None) return {};
    return ToUtf8(path);
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

std::string LowerExtension(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string extension(path.substr(dot));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
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

// ---------------------------------------------------------------------------------------------

class LoRange final : public Range {
  public:
    LoRange(std::shared_ptr<OfficeSession> session, Reference<css::text::XTextRange> range)
        : session_(std::move(session)), range_(std::move(range)) {}

    bool setText(std::string_view value) override {
        if (!range_.is() || !session_->alive()) return false;
        try {
            range_->setString(ToOUString(value));
            return true;
        } catch (...) {
            return false;
        }
    }

  private:
    std::shared_ptr<OfficeSession> session_;
    Reference<css::text::XTextRange> range_;
};

class LoBookmark final : public Bookmark {
  public:
    LoBookmark(std::shared_ptr<OfficeSession> session, Reference<css::container::XNameAccess> all,
               OUString name, Reference<css::text::XTextContent> content = {})
        : session_(std::move(session)),
          all_(std::move(all)),
          name_(std::move(name)),
          content_(std::move(content)) {}

    std::string name() override { return ToUtf8(name_); }

    std::unique_ptr<Range> range() override {
        if (!session_->alive()) return nullptr;
        try {
            if (!content_.is() && all_.is()) content_.set(all_->getByName(name_), UNO_QUERY);
            if (!content_.is()) return nullptr;
            Reference<css::text::XTextRange> anchor = content_->getAnchor();
            if (!anchor.is()) return nullptr;
            return std::make_unique<LoRange>(session_, anchor);
        } catch (...) {
            return nullptr;
        }
    }

  private:
    std::shared_ptr<OfficeSession> session_;
    Reference<css::container::XNameAccess> all_;
    OUString name_;
    Reference<css::text::XTextContent> content_;
};

// The names are fetched in one call and kept for the lifetime of this object, which callers
// hold only for one operation; their order is the collection's index order.
class LoBookmarks final : public Bookmarks {
  public:
    LoBookmarks(std::shared_ptr<OfficeSession> session, Reference<css::container::XNameAccess> all)
        : session_(std::move(session)), all_(std::move(all)) {}

    int count() override { return static_cast<int>(names().size()); }

    std::unique_ptr<Bookmark> item(int index) override {
        const std::vector<OUString>& list = names();
        if (index < 1 || index > static_cast<int>(list.size())) return nullptr;
        return std::make_unique<LoBookmark>(session_, all_, list[index - 1]);
    }

    std::unique_ptr<Bookmark> item(std::string_view name) override {
        if (!all_.is() || !session_->alive()) return nullptr;
        const OUString wanted = ToOUString(name);
        try {
            Reference<css::text::XTextContent> content(all_->getByName(wanted), UNO_QUERY);
            if (!content.is()) return nullptr;
            return std::make_unique<LoBookmark>(session_, all_, wanted, content);
        } catch (...) {
            return nullptr;
        }
    }

  private:
    const std::vector<OUString>& names() {
        if (loaded_) return names_;
        loaded_ = true;
        if (!all_.is() || !session_->alive()) return names_;
        try {
            const Sequence<OUString> elements = all_->getElementNames();
            names_.assign(elements.begin(), elements.end());
        } catch (...) {
            names_.clear();
        }
        return names_;
    }

    std::shared_ptr<OfficeSession> session_;
    Reference<css::container::XNameAccess> all_;
    bool loaded_ = false;
    std::vector<OUString> names_;
};

// Every look-up by name reads titles. Only this program can change the title of a document
// nobody has seen (it is hidden, and saving it drops the cached title), so for such a document
// the title is read over the bridge once.
OUString TitleOf(DocumentHandles& handles) {
    if (handles.titleCached && !handles.shown) return handles.cachedTitle;
    if (!handles.title.is()) handles.title.set(handles.model, css::uno::UNO_QUERY_THROW);
    handles.titleCached = false;
    handles.cachedTitle = handles.title->getTitle();
    handles.titleCached = true;
    return handles.cachedTitle;
}

// Gives a document loaded without a frame a frame of its own (hidden or shown); printing,
// PDF export and showing need one. True when the document has a frame afterwards.
bool AttachFrame(OfficeSession& session, DocumentHandles& handles, bool hidden) {
    if (!handles.detached) return true;
    if (!session.loader().is()) return false;
    Reference<css::lang::XComponent> component = session.loader()->loadComponentFromURL(
        "private:object", "_blank", 0,
        Arguments({Property("Model", Any(handles.model)), Property("Hidden", Any(hidden))}));
    if (!component.is()) return false;
    handles.detached = false;
    return true;
}

class LoDocument final : public Document {
  public:
    LoDocument(std::shared_ptr<OfficeSession> session, std::shared_ptr<DocumentHandles> handles)
        : session_(std::move(session)), handles_(std::move(handles)) {}

    std::string name() override {
        if (!usable()) return {};
        try {
            return ToUtf8(TitleOf(*handles_));
        } catch (...) {
            return {};
        }
    }

    void setSaved(bool saved) override {
        if (!usable()) return;
        try {
            Reference<css::util::XModifiable> modifiable(handles_->model, UNO_QUERY);
            if (modifiable.is()) modifiable->setModified(!saved);
        } catch (...) {
        }
    }

    void close() override {
        if (!usable()) return;
        session_->forget(handles_);
        try {
            Reference<css::util::XCloseable> closeable(handles_->model, UNO_QUERY);
            if (closeable.is()) {
                closeable->close(true);
            } else {
                Reference<css::lang::XComponent> component(handles_->model, UNO_QUERY);
                if (component.is()) component->dispose();
            }
        } catch (...) {
        }
        handles_.reset();
    }

    std::unique_ptr<Bookmarks> bookmarks() override {
        if (!usable()) return nullptr;
        try {
            // The collection object is live: it always reflects the document's bookmarks.
            if (!handles_->bookmarks.is()) {
                Reference<css::text::XBookmarksSupplier> supplier(handles_->model, UNO_QUERY);
                if (!supplier.is()) return nullptr;
                handles_->bookmarks = supplier->getBookmarks();
            }
            if (!handles_->bookmarks.is()) return nullptr;
            return std::make_unique<LoBookmarks>(session_, handles_->bookmarks);
        } catch (...) {
            return nullptr;
        }
    }

    bool saveAs(std::string_view path) override {
        if (!usable() || path.empty()) return false;
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
            Reference<css::frame::XStorable> storable(handles_->model, UNO_QUERY);
            if (!storable.is()) return false;
            const Sequence<css::beans::PropertyValue> arguments =
                Arguments({Property("FilterName", Any(OUString::createFromAscii(filter.name))),
                           Property("Overwrite", Any(true)), Property("PickListEntry", Any(false))});
            handles_->titleCached = false;
            if (filter.exportOnly) {
                if (!AttachFrame(*session_, *handles_, true)) return false;
                storable->storeToURL(url, arguments);
                handles_->exportPath = ToSystemPath(url);
            } else {
                storable->storeAsURL(url, arguments);
                handles_->exportPath.clear();
            }
            return true;
        } catch (...) {
            return false;
        }
    }

    bool printOut() override {
        if (!usable()) return false;
        try {
            Reference<css::view::XPrintable> printable(handles_->model, UNO_QUERY);
            if (!printable.is() || !AttachFrame(*session_, *handles_, true)) return false;
            // Without a printer the office drops the job without a word; that is a failure.
            OUString printerName;
            const Sequence<css::beans::PropertyValue> printer = printable->getPrinter();
            for (const css::beans::PropertyValue& property : printer)
                if (property.Name == "Name") property.Value >>= printerName;
            if (printerName.isEmpty()) return false;
            printable->print(Arguments({Property("Wait", Any(true))}));
            return true;
        } catch (...) {
            return false;
        }
    }

  private:
    bool usable() const { return handles_ && handles_->model.is() && session_->alive(); }

    std::shared_ptr<OfficeSession> session_;
    std::shared_ptr<DocumentHandles> handles_;
};

class LoDocuments final : public Documents {
  public:
    explicit LoDocuments(std::shared_ptr<OfficeSession> session) : session_(std::move(session)) {}

    std::unique_ptr<Document> add(std::string_view templatePath) override {
        if (!session_->alive() || !session_->loader().is()) return nullptr;
        const OUString url = ToFileUrl(templatePath);
        if (url.isEmpty()) return nullptr;
        snapshot_.reset();
        if (Reference<css::frame::XModel> model = LoadDetached(url, ImportFilterFor(templatePath));
            model.is()) {
            std::shared_ptr<DocumentHandles> handles = session_->handlesFor(model);
            handles->detached = true;
            return std::make_unique<LoDocument>(session_, handles);
        }
        try {
            Reference<css::lang::XComponent> component = session_->loader()->loadComponentFromURL(
                url, "_blank", 0,
                Arguments({Property("AsTemplate", Any(true)), Property("Hidden", Any(true)),
                           Property("MacroExecutionMode", Any(sal_Int16(0))),
                           Property("UpdateDocMode", Any(sal_Int16(0))),
                           Property("PickListEntry", Any(false))}));
            Reference<css::frame::XModel> model(component, UNO_QUERY);
            if (!model.is()) {
                if (component.is()) component->dispose();
                return nullptr;
            }
            return std::make_unique<LoDocument>(session_, session_->handlesFor(model));
        } catch (...) {
            return nullptr;
        }
    }

    int count() override { return static_cast<int>(models().size()); }

    std::unique_ptr<Document> item(int index) override {
        const std::vector<std::shared_ptr<DocumentHandles>>& all = models();
        if (index < 1 || index > static_cast<int>(all.size())) return nullptr;
        return std::make_unique<LoDocument>(session_, all[index - 1]);
    }

    std::unique_ptr<Document> item(std::string_view name) override {
        if (name.empty() || !session_->alive()) return nullptr;
        const OUString wanted = ToOUString(name);
        const bool isPath = name.front() == '/';
        // The documents met before answer most look-ups; only a name none of them bears
        // needs the office's whole list.
        const std::vector<std::shared_ptr<DocumentHandles>> known = session_->known();
        for (const std::shared_ptr<DocumentHandles>& handles : known) {
            try {
                if (Matches(*handles, wanted, name, isPath))
                    return std::make_unique<LoDocument>(session_, handles);
            } catch (...) {
                session_->forget(handles);  // closed behind our back
            }
        }
        for (const std::shared_ptr<DocumentHandles>& handles : models()) {
            if (std::find(known.begin(), known.end(), handles) != known.end()) continue;
            try {
                if (Matches(*handles, wanted, name, isPath))
                    return std::make_unique<LoDocument>(session_, handles);
            } catch (...) {
            }
        }
        return nullptr;
    }

  private:
    // A frame and its window cost the office more than reading a small template, so a template
    // whose format the extension names is read into a document of its own, without a frame;
    // never runs macros nor refreshes links. An empty reference when that does not work.
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

    static bool Matches(DocumentHandles& handles, const OUString& wanted, std::string_view name,
                        bool isPath) {
        if (TitleOf(handles) == wanted) return true;
        if (!isPath) return false;
        if (handles.exportPath == name) return true;
        return ToSystemPath(handles.model->getURL()) == name;
    }

    // The office's open documents in its own order, read once per collection object.
    const std::vector<std::shared_ptr<DocumentHandles>>& models() {
        if (snapshot_) return *snapshot_;
        snapshot_.emplace();
        if (!session_->alive() || !session_->desktop().is()) return *snapshot_;
        try {
            Reference<css::container::XEnumerationAccess> components = session_->desktop()->getComponents();
            if (!components.is()) return *snapshot_;
            Reference<css::container::XEnumeration> it = components->createEnumeration();
            while (it.is() && it->hasMoreElements()) {
                Reference<css::frame::XModel> model(it->nextElement(), UNO_QUERY);
                if (!model.is()) continue;
                std::shared_ptr<DocumentHandles> handles = session_->handlesFor(model);
                handles->detached = false;
                snapshot_->push_back(handles);
            }
        } catch (...) {
            snapshot_->clear();
            return *snapshot_;
        }
        // Documents without a frame follow, oldest first; only this program can close them.
        for (const std::shared_ptr<DocumentHandles>& handles : session_->known())
            if (handles->detached) snapshot_->push_back(handles);
        return *snapshot_;
    }

    std::shared_ptr<OfficeSession> session_;
    std::optional<std::vector<std::shared_ptr<DocumentHandles>>> snapshot_;
};

class LoApplication final : public Application {
  public:
    explicit LoApplication(std::shared_ptr<OfficeSession> session) : session_(std::move(session)) {}

    void setVisible(bool visible) override {
        if (!session_->alive() || !session_->hasDisplay()) return;
        if (visible) {
            const std::vector<std::shared_ptr<DocumentHandles>> known = session_->known();
            for (const std::shared_ptr<DocumentHandles>& handles : known) {
                try {
                    if (handles->detached) {
                        handles->shown = true;
                        AttachFrame(*session_, *handles, false);
                    }
                } catch (...) {
                }
            }
        }
        try {
            Reference<css::frame::XDesktop2> desktop = session_->desktop();
            if (!desktop.is()) return;
            Reference<css::container::XEnumeration> it = desktop->getComponents()->createEnumeration();
            while (it->hasMoreElements()) {
                Reference<css::frame::XModel> model(it->nextElement(), UNO_QUERY);
                if (!model.is()) continue;
                // From now on the user may rename or close it through the office's window.
                session_->handlesFor(model)->shown = true;
                Reference<css::frame::XController> controller = model->getCurrentController();
                if (!controller.is()) continue;
                Reference<css::frame::XFrame> frame = controller->getFrame();
                if (!frame.is()) continue;
                Reference<css::awt::XWindow> window = frame->getContainerWindow();
                if (window.is()) window->setVisible(visible);
            }
        } catch (...) {
        }
    }

    std::unique_ptr<Documents> documents() override {
        if (!session_->alive()) return nullptr;
        return std::make_unique<LoDocuments>(session_);
    }

    void quit(int /*saveChanges*/) override { session_->terminate(); }

  private:
    std::shared_ptr<OfficeSession> session_;
};

class LoServer final : public AutomationServer {
  public:
    ~LoServer() override {
        if (session_) session_->terminate();
    }

    std::unique_ptr<Application> createApplication() override {
        try {
            if (!session_ || !session_->alive()) {
                if (session_) session_->terminate();
                session_.reset();
                session_ = OfficeSession::Start(++started_);
                if (!session_) return nullptr;
            }
            return std::make_unique<LoApplication>(session_);
        } catch (...) {
            return nullptr;
        }
    }

    bool windowExists() override { return session_ && session_->alive(); }

  private:
    std::shared_ptr<OfficeSession> session_;
    int started_ = 0;
};

}  // namespace

std::unique_ptr<AutomationServer> MakeLibreOfficeServer() {
    return std::make_unique<LoServer>();
}

}  // namespace qm::word
