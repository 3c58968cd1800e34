#include "word/engine_document.h"

#include <unistd.h>

#include <cstring>
#include <optional>
#include <unordered_map>
#include <utility>

#include "common/fs.h"
#include "common/text.h"

namespace qm::word {

namespace {

// The engine's own format for an extension; none for formats only the office writes.
std::optional<engine::Format> EngineFormat(std::string_view path) {
    const std::string extension = LowerExtension(path);
    if (extension == ".doc") return engine::Format::Doc;
    if (extension == ".docx") return engine::Format::Docx;
    return std::nullopt;
}

class EngineDocument final : public WorkingDocument {
  public:
    EngineDocument(std::shared_ptr<const engine::Template> source, Office* office, std::string title)
        : template_(std::move(source)), office_(office), title_(std::move(title)) {}

    Route route() const override { return Route::Engine; }
    std::string Title() override { return title_; }
    bool open() const override { return open_; }
    bool IsOpen() override { return open_; }
    void Close() override {
        open_ = false;
        values_.clear();
        index_.clear();
    }
    // Nothing of it lives in the office.
    void OfficeEnded() override {}

    std::vector<std::string> BookmarkNames() const override { return template_->VisibleNames(); }
    bool BookmarkExists(std::string_view name) const override {
        const engine::BookmarkInfo* b = template_->Find(name);
        return b && !b->hidden;
    }
    bool SetBookmarkText(std::string_view name, std::string_view value) override {
        const engine::BookmarkInfo* b = template_->Find(name);
        if (!b || b->hidden) return false;
        Value(name).value = std::string(value);
        return b->refusal.empty();
    }
    bool SetBookmarkPicture(std::string_view name, std::shared_ptr<const engine::Picture> picture) override {
        const engine::BookmarkInfo* b = template_->Find(name);
        if (!b || b->hidden) return false;
        Value(name).picture = std::move(picture);
        return b->refusal.empty();
    }
    std::vector<engine::Skip> BookmarksLeft() const override {
        if (!open_) return {};
        return template_->Skips(Fills());
    }
    std::vector<engine::Note> BookmarkNotes() const override {
        if (!open_) return {};
        return template_->Notes(Fills());
    }
    std::map<std::string, std::string> UnfillableBookmarks() const override {
        std::map<std::string, std::string> out;
        if (!open_) return out;
        for (const engine::BookmarkInfo& b : template_->bookmarks())
            if (!b.hidden && !b.refusal.empty()) out.emplace(b.name, b.refusal);
        return out;
    }

    SaveResult SaveAs(std::string_view fileName) override;
    bool Print(std::string_view jobName) override;
    bool MakeFile(std::vector<std::uint8_t>& out, engine::Format& format, std::string& error) override {
        format = template_->format();
        return template_->Make(Fills(), out, error);
    }

  private:
    // The values set so far, as fills in the order their bookmarks were first set; a later value
    // takes the earlier one's place. Of two overlapping bookmarks the engine gives the one filled
    // later what remains of its range, so the order is part of what the caller asked for (a run
    // sets them in column order).
    const std::vector<engine::Fill>& Fills() const { return values_; }
    // The fill of `name`: where it stands when the bookmark was set before, else a new last one.
    engine::Fill& Value(std::string_view name) {
        const auto [at, added] = index_.try_emplace(std::string(name), values_.size());
        if (added) values_.emplace_back(std::string(name), std::string());
        return values_[at->second];
    }
    // Opens the document made as `bytes` in the office, through a temporary file beside `near`
    // with the template's extension added; the file is gone again when this returns. The
    // office's id for it; 0 on failure, with `failure` saying why.
    DocumentId OpenInOffice(const std::vector<std::uint8_t>& bytes, std::string_view near,
                            SaveResult& failure);

    std::shared_ptr<const engine::Template> template_;
    Office* office_;
    std::string title_;
    bool open_ = true;
    std::vector<engine::Fill> values_;
    std::unordered_map<std::string, std::size_t> index_;  // where each name stands in values_
};

DocumentId EngineDocument::OpenInOffice(const std::vector<std::uint8_t>& bytes, std::string_view near,
                                        SaveResult& failure) {
    constexpr std::string_view kNotConverted = "the office could not convert the document";
    failure = SaveFailed(std::string(kNotConverted), near);
    if (!office_) return 0;
    return OpenBytesInOffice(*office_, bytes, engine::FormatExtension(template_->format()), near,
                             kNotConverted, failure);
}

SaveResult EngineDocument::SaveAs(std::string_view fileName) {
    const std::vector<engine::Fill>& fills = Fills();
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!template_->Make(fills, bytes, error)) return SaveFailed(error, fileName);
    const engine::Format format = template_->format();
    const std::optional<engine::Format> wanted = EngineFormat(fileName);
    int code = 0;
    if (wanted && *wanted == format) {
        // The first document of a template is checked whole, the others by their structure.
        const engine::Template& source = *template_;
        const bool written = ReplaceFile(
            fileName, bytes,
            [format, &source](std::span<const std::uint8_t> back) {
                if (source.checkedWhole())
                    return engine::VerifyContainer(back, format, engine::ContainerCheck::Structure);
                if (!engine::VerifyContainer(back, format, engine::ContainerCheck::Whole)) return false;
                source.setCheckedWhole();
                return true;
            },
            code);
        if (!written) return SaveFailedWith(code, fileName);
        return SaveSucceeded();
    }
    // Another format: the office converts the document made here.
    SaveResult failure;
    const DocumentId id = OpenInOffice(bytes, fileName, failure);
    if (id == 0) return failure;
    SaveResult result = SaveFromOffice(*office_, id, fileName, "the office could not convert the document");
    office_->close(id);
    return result;
}

bool EngineDocument::Print(std::string_view jobName) {
    // The engine's document goes to the printer through the office.
    const std::vector<engine::Fill>& fills = Fills();
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!office_ || !template_->Make(fills, bytes, error)) return false;
    SaveResult failure;
    const DocumentId id = OpenInOffice(bytes, "/tmp/quillmerge-print", failure);
    if (id == 0) return false;
    const bool printed = office_->print(id, jobName);
    office_->close(id);
    return printed;
}

}  // namespace

std::unique_ptr<WorkingDocument> MakeEngineDocument(std::shared_ptr<const engine::Template> source,
                                                    Office* office, std::string title) {
    return std::make_unique<EngineDocument>(std::move(source), office, std::move(title));
}

}  // namespace qm::word
