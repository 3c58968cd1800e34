#pragma once
// The office process the program drives, as the few calls it needs. Only WordHost and its working
// documents talk to it.
//
// Calling rules: no call throws or shows anything. A failed call (no office, a dead office, a
// closed document, an office error) yields an empty result: 0 for a document, "" or no names,
// false. Names and paths are UTF-8.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "word/engine/picture.h"

namespace qm::word {

// A document open in the office, as this program knows it; 0 is none. Ids are never reused
// within one program run, so a stale id finds nothing.
using DocumentId = std::uint64_t;

// Bounds the program puts on each office process it starts.
struct OfficeLimits {
    // A call that has not returned after `answer`, plus `answerPerMegabyte` for each megabyte of
    // the file it works on, is taken for an office that no longer answers: its process is
    // ended, and the call fails as if the office had died under it.
    std::chrono::seconds answer{180};
    std::chrono::seconds answerPerMegabyte{60};
    // The address space an office process may take, in bytes; 0 for no limit. An office that
    // needs more fails its allocations and ends.
    std::uint64_t memory = 0;
};

// How the office process last ended when nobody asked it to.
enum class OfficeEnd {
    None,         // it did not end, or was asked to
    Stopped,      // it crashed or was killed
    NoAnswer,     // it did not answer in time, and was ended for it
    OutOfMemory,  // it ended at its memory limit
};

class Office {
  public:
    virtual ~Office() = default;

    // True while the office process this program started is alive and answers. Never starts one.
    virtual bool running() = 0;
    // Starts the office when none runs, without opening anything; true when it runs.
    virtual bool startUp() { return running(); }
    // A new, hidden document based on the template file (the file itself is not opened for
    // editing); starts the office when none runs. 0 on failure.
    virtual DocumentId openTemplate(std::string_view path) = 0;
    // True while the document is open: the user may close it in the office's window.
    virtual bool isOpen(DocumentId document) = 0;
    // The name the office shows for the document ("Untitled 1"); "" when it is not open.
    virtual std::string title(DocumentId document) = 0;
    // The document's bookmark names, in the office's order.
    virtual std::vector<std::string> bookmarkNames(DocumentId document) = 0;
    // The bookmark's text becomes `value`. False when there is no such bookmark or the write
    // failed.
    virtual bool setBookmarkText(DocumentId document, std::string_view name, std::string_view value) = 0;
    // Writes the document to `path`, in the format its extension names (.doc, .docx, .odt,
    // .pdf). False when the office reports a failure. The document keeps its id.
    virtual bool saveAs(DocumentId document, std::string_view path) = 0;
    // Writes the document to `path` as a PDF in which every bookmark is a named destination, so
    // that the pages of documents joined into one can be told apart; false when it cannot.
    virtual bool exportPdfWithMarks(DocumentId /*document*/, std::string_view /*path*/) { return false; }
    // Sends the whole document to the default printer as one job called `jobName`; false when
    // there is no printer or the office refuses the job.
    virtual bool print(DocumentId document, std::string_view jobName) = 0;
    // Closes the document without saving; a closed or unknown id is ignored.
    virtual void close(DocumentId document) = 0;
    // Places `picture` into the bookmark in place of its text, at the size the engine would
    // give it; false when it cannot (the bookmark then stays as it is).
    virtual bool setBookmarkPicture(DocumentId /*document*/, std::string_view /*name*/,
                                    const engine::Picture& /*picture*/) {
        return false;
    }
    // Makes the office's windows visible, behind the program's own, never maximised.
    virtual void show() = 0;
    // Ends the office without saving anything; a later openTemplate starts a new one.
    virtual void quit() = 0;
    // The bounds for the office processes started from now on (and, for the time limit, for
    // the calls from now on).
    virtual void setLimits(const OfficeLimits& /*limits*/) {}
    // How an office process ended unasked, the earliest not yet told; OfficeEnd::None when none
    // is left to tell. A process that ended under one call may have been started again within it.
    virtual OfficeEnd takeEnd() { return OfficeEnd::None; }
    // The memory limit of its processes, in bytes (0: none), as setLimits gave it.
    virtual std::uint64_t memoryLimit() const { return 0; }
    // A private folder for the files the office reads and writes on the program's behalf, so
    // that neither they nor the office's own lock and temporary files land in the user's
    // folders; "" when there is none (the files then go beside their final names).
    virtual std::string scratchFolder() { return {}; }
};

}  // namespace qm::word
