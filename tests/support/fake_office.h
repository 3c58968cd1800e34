#pragma once
// The one office double of the tests: an office that lives in memory, for tests of everything
// above the office layer.
//
// Templates are small text files (see WriteFakeTemplate): a header line and one line per
// bookmark with its initial text. The document engine does not read them, so a WordHost over
// this office always makes its documents here. openTemplate() reads such a file; documents are
// named like an office names them ("Untitled 1", "Untitled 2", …). saveAs() writes a real file
// in the same format holding the document's bookmark texts, so a test can read back what was
// "saved" (ReadFakeDocument). Saves and prints can be told to fail, and the office can be told
// to die after a number of calls or at once.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "word/office.h"

namespace qm::test {

// Bookmarks of a template or a saved document, in document order: name and text.
using BookmarkTexts = std::vector<std::pair<std::string, std::string>>;

// Writes a template file for the fake office; false when the file cannot be written.
bool WriteFakeTemplate(const std::string& path, const BookmarkTexts& bookmarks);
// Reads a template or saved document back; false when the file is missing or not in the format.
bool ReadFakeDocument(const std::string& path, BookmarkTexts& bookmarks);
// The text of one bookmark of a saved document; "" when absent.
std::string FakeBookmarkText(const BookmarkTexts& bookmarks, std::string_view name);

struct FakeOfficeState;
struct FakeDoc;

class FakeOffice : public word::Office {
  public:
    struct Write {
        std::string document;  // the document's name when written
        std::string bookmark;
        std::string value;
    };
    struct PrintJob {
        std::string document;
        BookmarkTexts bookmarks;
    };

    FakeOffice();
    ~FakeOffice() override;

    // Office.
    bool running() override;
    word::DocumentId openTemplate(std::string_view path) override;
    bool isOpen(word::DocumentId document) override;
    std::string title(word::DocumentId document) override;
    std::vector<std::string> bookmarkNames(word::DocumentId document) override;
    bool setBookmarkText(word::DocumentId document, std::string_view name, std::string_view value) override;
    bool saveAs(word::DocumentId document, std::string_view path) override;
    bool print(word::DocumentId document, std::string_view jobName) override;
    void close(word::DocumentId document) override;
    void show() override;
    void quit() override;

    // The user closes every document in the office's window.
    void closeEveryDocument();

    // What happened.
    const std::vector<Write>& writes() const;
    // Successful saves, in order, by the name each was for (the host writes a temporary file
    // beside it first, then moves it there).
    const std::vector<std::string>& savedPaths() const;
    const std::vector<PrintJob>& printJobs() const;
    int documentsCreated() const;  // add() calls that succeeded
    int openDocumentCount() const;
    std::vector<std::string> openDocumentNames() const;
    int applicationsStarted() const;
    bool visible() const;
    bool quitCalled() const;
    long long operations() const;  // member calls answered so far

    // Failures on purpose. The predicates see the target path (saves: a temporary file beside
    // the final one) or the job name (prints) and return true for a call that must fail.
    void failSaves(std::function<bool(std::string_view path)> predicate);
    // Saves that report success but write no file.
    void dropSaves(std::function<bool(std::string_view path)> predicate);
    void failPrints(std::function<bool(std::string_view document)> predicate);
    // The office dies after `count` more member calls have been answered; every later call
    // yields an empty result and windowExists() turns false.
    void dieAfterOperations(long long count);
    // The office dies during the `n`-th saveAs from now on (1 = the next one); that save fails.
    void dieOnSave(int n);
    void kill();
    // Called when the office is told to quit (it may be gone by the time a test looks).
    void onQuit(std::function<void()> callback);
    // The office dies as soon as `condition` holds (checked on every call).
    void dieWhen(std::function<bool()> condition);
    // Writes into the named bookmarks fail, as an office refusing a value would.
    void failWrites(std::function<bool(std::string_view bookmark)> predicate);
    bool alive() const;
    // Whether openTemplate() starts a new office after one has died (default true, as a real
    // office would be started anew); false makes it fail.
    void setRestartable(bool restartable);
    // The office cannot be started (not installed).
    void setUnavailable(bool unavailable);

  private:
    bool start();
    std::shared_ptr<FakeDoc> find(word::DocumentId id);
    std::shared_ptr<FakeOfficeState> state_;
};

}  // namespace qm::test
