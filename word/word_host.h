#pragma once
// The program's one handle on its documents: turns the chosen template into a working
// document, fills its bookmarks, saves or prints it, and ends the office at the end.
//
// A working document is made in this process by the document engine whenever the engine reads
// the template; the office is started only for what the engine cannot do: print, save in
// another format, or fill a template the engine refuses. Callers see the same operations
// either way: the host picks the kind of document when it opens the template and then leaves
// the work to it (working_document.h).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "common/fs.h"
#include "word/engine/template.h"
#include "word/office.h"
#include "word/office_converter.h"
#include "word/working_document.h"

namespace qm {
class UserDialogs;
}

namespace qm::word {

class WordHost {
  public:
    // `office` is started on first need; `programFolder` (no trailing "/") locates the close
    // script "vbs/closeword.sh".
    WordHost(std::unique_ptr<Office> office, std::string programFolder);
    // Ends the office when it runs, without saving anything.
    ~WordHost();
    WordHost(const WordHost&) = delete;
    WordHost& operator=(const WordHost&) = delete;

    // True while the office process this program drives is alive and answers.
    bool IsWordRunning();
    // False for a host made without an office: only templates this program reads itself open.
    bool HasOffice() const { return office_ != nullptr; }
    // Makes the office visible when it runs; otherwise nothing.
    void ShowWord();
    // "" does nothing and returns the current name. A path that matches no file sets the
    // current name to "" and returns "". Otherwise discards the previous working document
    // unsaved and makes a new one from the template: by the engine when `route` allows and
    // the engine reads the template, else by the office. Returns its name ("" on failure).
    std::string OpenTemplate(std::string_view path, Route route = Route::Engine);
    // True when `name` (empty: the current one) names the open working document, exactly.
    bool IsDocumentOpen(std::string_view name = {});
    // Closes the working document without saving when `name` is empty or its name. The name
    // stays current, as the office leaves it.
    void CloseDocument(std::string_view name = {});

    // Bookmark names of the working document joined by CR LF; "" without one. The engine lists
    // the bookmarks a user sees (not those starting with "_").
    std::string ListBookmarks();
    bool BookmarkExists(std::string_view name);
    // True when the bookmark exists and gets the value. A value the office failed to take makes
    // the next save fail. A bookmark the engine can never fill keeps the template's text and
    // counts as not filled (false); BookmarksLeft names it.
    bool SetBookmarkText(std::string_view name, std::string_view value);
    // The same with a picture in place of the text: a picture in the bookmark is replaced by it,
    // fitted into its box; otherwise it is placed inline, 3 cm wide. A bookmark that cannot take
    // one stays as in the template and BookmarksLeft names it.
    bool SetBookmarkPicture(std::string_view name, std::shared_ptr<const engine::Picture> picture);
    // The bookmarks given a value in the working document that it leaves as in the template,
    // and why (the engine's documents only; the office's fill every bookmark they have).
    std::vector<engine::Skip> BookmarksLeft() const;
    // What the user should know of the bookmarks the working document fills: one that overlaps
    // another filled before it takes what remains of its range, a form text field keeps a value
    // longer than its maximum length (the engine's documents only).
    std::vector<engine::Note> BookmarkNotes() const;
    // The visible bookmarks of the working document that the engine can never fill, with why;
    // empty for the office's documents.
    std::map<std::string, std::string> UnfillableBookmarks() const;

    // Saves the working document as `fileName`, the format following the extension. The file
    // is written beside its final name and put in place only once whole and checked, so an
    // earlier file of that name survives any failure and nothing partial stays behind.
    SaveResult SaveDocumentAs(std::string_view fileName);
    // Prints the working document to the default printer as a job called `jobName` (empty:
    // the document's name); the engine's documents go through the office for it. True when
    // the office accepted the job.
    bool PrintDocument(std::string_view jobName = {});
    // The working document as the bytes of a file of the engine's format, for the converter;
    // false (with why) for the office's documents or when none can be made.
    bool MakeDocumentFile(std::vector<std::uint8_t>& out, engine::Format& format, std::string& error);

    // Where the office may start more processes of its own to convert documents side by side,
    // and how many processes to use in all (1: only its own). Without this call there is one.
    void SetMoreOffices(OfficeFactory more, int workers);
    // The bounds of every office process of the host (its own and the converter's): how long a
    // call may take, how much memory a process may have. Kept for offices started later.
    void SetOfficeLimits(const OfficeLimits& limits);
    const OfficeLimits& officeLimits() const { return officeLimits_; }
    // Starts the converter's offices of its own in the background, for a conversion that is to
    // come (its first office, the host's own, starts with the run). Never waits.
    void StartConvertingOffices();
    // The converter that turns the engine's documents into PDF or ODT files with the office's
    // processes; null for a host without an office. Used by one run at a time.
    OfficeConverter* Converter();

    // Asks, then ends the offices (its own and the converter's) through "vbs/closeword.sh", with
    // a pause between launches and a bounded number of attempts; reports a missing script or an
    // office that could not be ended. Every office ended is collected and its profile removed.
    void ForceCloseWord(UserDialogs& dialogs);

    const std::string& CurrentDocumentName() const { return currentDocumentName_; }
    // Who made the working document; Engine when there is none.
    Route CurrentRoute() const { return document_ ? document_->route() : Route::Engine; }
    // The template the working document was made from; "" when none.
    const std::string& CurrentTemplatePath() const { return templatePath_; }
    // The version of the template file that the working document was made from, as it stood
    // when it was opened; all zero without one.
    const FileStamp& CurrentTemplateStamp() const { return templateStamp_; }
    // The engine's reading of the template at `path`, kept while the file is unchanged; the
    // refusal when the engine cannot take it.
    engine::OpenResult TemplateAt(std::string_view path);

  private:
    void QuitWord();
    void DropWorkingDocument();

    struct CachedTemplate {
        std::string path;
        std::int64_t size = -1;
        std::int64_t modified = 0;
        engine::OpenResult result;
    };

    std::unique_ptr<Office> office_;
    std::string programFolder_;
    std::string currentDocumentName_;
    std::string templatePath_;
    FileStamp templateStamp_;
    // The working document; null before the first template and after a template that is missing
    // or under a password. It points to office_, so it is declared after it.
    std::unique_ptr<WorkingDocument> document_;
    CachedTemplate cache_;
    int untitled_ = 0;
    OfficeFactory moreOffices_;
    int officeWorkers_ = 1;
    OfficeLimits officeLimits_;
    // Uses office_, so it is declared after it and goes first.
    std::unique_ptr<OfficeConverter> converter_;
};

}  // namespace qm::word
