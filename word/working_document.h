#pragma once
// The working document WordHost makes from a template: one document, filled bookmark by
// bookmark, then saved or printed. Two kinds exist, chosen when the template is opened: the
// engine's (made in this process, engine_document.h) and the office's (a document open in the
// office, office_document.h). WordHost checks that a document is open, under its name, before
// it asks anything of it; the documents themselves only answer for what they hold.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "word/engine/template.h"
#include "word/office.h"

namespace qm::word {

// Who makes the working document.
enum class Route {
    Engine,  // in this process, when the engine reads the template; else the office
    Office,  // always the office
};

// Where a failed save failed, when it is known.
enum class SaveFault {
    Unknown,
    Scratch,            // the temporary folder the office works in (`SaveResult::where`)
    OfficeStopped,      // the office ended under the document
    OfficeNoAnswer,     // the office did not answer in time, and was ended
    OfficeOutOfMemory,  // the office ended at its memory limit (`SaveResult::megabytes`)
    // A value (of the column `SaveResult::where`, of `megabytes`) is too long for the office to
    // convert; the document was not given to it.
    ValueTooLarge,
};

struct SaveResult {
    bool ok = false;
    // The disk has no room left: the saves after this one cannot succeed either.
    bool diskFull = false;
    std::string error;  // what failed, in a few words, for the user
    SaveFault fault = SaveFault::Unknown;
    int code = 0;          // the errno of the failure, 0 when there was none
    std::string where;     // the temporary folder, or the column, as the fault says
    double megabytes = 0;  // the office's memory limit, or the value's size, as the fault says
    explicit operator bool() const { return ok; }
};

inline SaveResult SaveSucceeded() {
    SaveResult result;
    result.ok = true;
    return result;
}
// A failed save of `fileName`: `error`, unless the disk it goes to is full, which is then what
// the result says.
SaveResult SaveFailed(std::string error, std::string_view fileName);
// A save of `fileName` that failed with errno `code`.
SaveResult SaveFailedWith(int code, std::string_view fileName);
// A failure (errno `code`) in the office's temporary folder `folder`, not in the document's own.
SaveResult ScratchFailed(int code, std::string folder);
// Has the office write `document` to a temporary file beside `fileName` and puts the file in
// place once something was written; `error` is the result when the office fails.
SaveResult SaveFromOffice(Office& office, DocumentId document, std::string_view fileName,
                          std::string_view error);

// Opens `bytes` (a whole document of the format `extension` names) in `office`, through a
// temporary file in the office's own folder, or beside `near` when it has none; the file is gone
// again when this returns. The office's id for it; 0 on failure, with `failure` saying why: the
// file could not be written (in the office's folder or beside `near`), or else `notOpened`.
DocumentId OpenBytesInOffice(Office& office, std::span<const std::uint8_t> bytes, std::string_view extension,
                             std::string_view near, std::string_view notOpened, SaveResult& failure);

class WorkingDocument {
  public:
    virtual ~WorkingDocument() = default;

    virtual Route route() const = 0;
    // The name the user sees ("Untitled 2"); "" when the document did not open.
    virtual std::string Title() = 0;
    // False once closed here or found gone; asks nothing of the office.
    virtual bool open() const = 0;
    // Like open(), but the office's documents ask the office too: the user may have closed the
    // document in its window, or ended the office. A document found gone stays closed.
    virtual bool IsOpen() = 0;
    // Closes the document without saving; later calls find it closed.
    virtual void Close() = 0;
    // The office ended under the document (a forced close): the office's documents went with it.
    virtual void OfficeEnded() = 0;

    // The visible bookmark names, in document order (none starting with "_").
    virtual std::vector<std::string> BookmarkNames() const = 0;
    virtual bool BookmarkExists(std::string_view name) const = 0;
    // Gives the bookmark its value; false for a name BookmarkExists does not know. See
    // WordHost::SetBookmarkText for the rest.
    virtual bool SetBookmarkText(std::string_view name, std::string_view value) = 0;
    // Gives the bookmark a picture in place of its text; false for a name BookmarkExists does
    // not know. See WordHost::SetBookmarkPicture.
    virtual bool SetBookmarkPicture(std::string_view name,
                                    std::shared_ptr<const engine::Picture> picture) = 0;
    // The bookmarks given a value that the document leaves as in the template, and why.
    virtual std::vector<engine::Skip> BookmarksLeft() const = 0;
    // The bookmarks given a value that the document fills with something its user should know:
    // what remained of an overlapping bookmark's range, a value longer than a form field takes.
    virtual std::vector<engine::Note> BookmarkNotes() const = 0;
    // The visible bookmarks that can never be filled, with why.
    virtual std::map<std::string, std::string> UnfillableBookmarks() const = 0;

    // Writes the document to `fileName` (not empty), the format following the extension; an
    // earlier file of that name survives any failure and nothing partial stays behind.
    virtual SaveResult SaveAs(std::string_view fileName) = 0;
    // Sends the document to the default printer as a job called `jobName`; true when the office
    // accepted the job.
    virtual bool Print(std::string_view jobName) = 0;
    // The document as the bytes of a file of `format`, for a converter; false (with why) for a
    // document that lives in the office, or when none can be made.
    virtual bool MakeFile(std::vector<std::uint8_t>& /*out*/, engine::Format& /*format*/,
                          std::string& error) {
        error = "the document lives in the office";
        return false;
    }
};

}  // namespace qm::word
