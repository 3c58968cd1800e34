#include "word/office_document.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "word/engine/template.h"

namespace qm::word {

namespace {

class OfficeDocument final : public WorkingDocument {
  public:
    OfficeDocument(Office* office, DocumentId id) : office_(office), id_(id), open_(id != 0) {
        if (!open_) return;
        // Word's own hidden bookmarks ("_Toc…", "_GoBack", "OLE_LINK…") are neither listed nor filled.
        // They are read once: filling does not change them.
        for (std::string& name : office_->bookmarkNames(id_))
            if (!engine::IsHiddenBookmarkName(name)) bookmarks_.push_back(std::move(name));
    }

    Route route() const override { return Route::Office; }
    std::string Title() override { return open_ ? office_->title(id_) : std::string(); }
    bool open() const override { return open_; }
    bool IsOpen() override {
        if (!open_) return false;
        if (!office_->running() || !office_->isOpen(id_)) open_ = false;
        return open_;
    }
    void Close() override {
        if (open_) office_->close(id_);
        open_ = false;
    }
    void OfficeEnded() override { open_ = false; }

    std::vector<std::string> BookmarkNames() const override { return bookmarks_; }
    bool BookmarkExists(std::string_view name) const override {
        return std::find(bookmarks_.begin(), bookmarks_.end(), name) != bookmarks_.end();
    }
    bool SetBookmarkText(std::string_view name, std::string_view value) override {
        if (!BookmarkExists(name)) return false;
        // The office gets the same text the engine would write: a control character would make
        // it drop the whole value. The bookmark exists, so the caller counts it filled; a
        // refused write fails the save.
        if (!office_->setBookmarkText(id_, name, engine::NormalizeValue(value))) valueLost_ = true;
        return true;
    }
    bool SetBookmarkPicture(std::string_view name, std::shared_ptr<const engine::Picture> picture) override {
        if (!BookmarkExists(name)) return false;
        if (!office_->setBookmarkPicture(id_, name, *picture)) {
            if (std::find(picturesLeft_.begin(), picturesLeft_.end(), name) == picturesLeft_.end())
                picturesLeft_.emplace_back(name);
            return false;
        }
        return true;
    }
    // The office fills every bookmark it has; only a picture it could not place is left.
    std::vector<engine::Skip> BookmarksLeft() const override {
        std::vector<engine::Skip> left;
        for (const std::string& name : picturesLeft_)
            left.push_back(
                {name, "the office could not place the picture", engine::Skip::Cause::Refused, {}});
        return left;
    }
    // The office fills overlapping bookmarks and form fields its own way, which is not known here.
    std::vector<engine::Note> BookmarkNotes() const override { return {}; }
    std::map<std::string, std::string> UnfillableBookmarks() const override { return {}; }

    SaveResult SaveAs(std::string_view fileName) override {
        if (valueLost_) return SaveFailed("a value could not be written into the document", fileName);
        return SaveFromOffice(*office_, id_, fileName, "the office could not save the document");
    }
    bool Print(std::string_view jobName) override { return !valueLost_ && office_->print(id_, jobName); }

  private:
    Office* office_;  // not null while open_
    DocumentId id_;
    bool open_;
    std::vector<std::string> bookmarks_;
    std::vector<std::string> picturesLeft_;  // bookmarks whose picture the office did not take
    bool valueLost_ = false;                 // a write the office refused
};

}  // namespace

std::unique_ptr<WorkingDocument> OpenOfficeDocument(Office* office, std::string_view path) {
    return std::make_unique<OfficeDocument>(office, office ? office->openTemplate(path) : 0);
}

}  // namespace qm::word
