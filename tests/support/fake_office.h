#pragma once
// An office that lives in memory, for tests of everything above the automation layer.
//
// Templates are small text files (see WriteFakeTemplate): a header line and one line per
// bookmark with its initial text. add() reads such a file, so WordHost's own file checks pass
// unchanged. Documents are named like an office names them ("Untitled 1", "Untitled 2", …).
// saveAs() writes a real file in the same format holding the document's bookmark texts, so a
// test can read back what was "saved" (ReadFakeDocument). Saves and prints can be told to fail,
// and the office can be told to die after a number of calls or at once.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "word/automation.h"

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

class FakeOffice : public word::AutomationServer {
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

    // AutomationServer.
    std::unique_ptr<word::Application> createApplication() override;
    bool windowExists() override;

    // What happened.
    const std::vector<Write>& writes() const;
    const std::vector<std::string>& savedPaths() const;  // successful saves, in order
    const std::vector<PrintJob>& printJobs() const;
    int documentsCreated() const;  // add() calls that succeeded
    int openDocumentCount() const;
    std::vector<std::string> openDocumentNames() const;
    int applicationsStarted() const;
    bool visible() const;
    bool quitCalled() const;
    long long operations() const;  // member calls answered so far

    // Failures on purpose. The predicates see the target path (saves) or the document name
    // (prints) and return true for a call that must fail.
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
    bool alive() const;
    // Whether createApplication() starts a new office after one has died (default true, as a
    // real office would be started anew); false makes it return nullptr.
    void setRestartable(bool restartable);
    // createApplication() fails (an office that is not installed).
    void setUnavailable(bool unavailable);

  private:
    std::shared_ptr<FakeOfficeState> state_;
};

}  // namespace qm::test
