#pragma once
// The program's one handle on the office: starts it when needed, turns the chosen template into
// a working document, fills its bookmarks, saves or prints it, and ends the office at the end.

#include <memory>
#include <string>
#include <string_view>

#include "word/automation.h"

namespace qm {
class UserDialogs;
}

namespace qm::word {

class WordHost {
public:
    // `server` creates the office application; `programFolder` (no trailing "/") locates the
    // close script "vbs/closeword.sh".
    WordHost(std::unique_ptr<AutomationServer> server, std::string programFolder);
    // Runs QuitWord.
    ~WordHost();
    WordHost(const WordHost&) = delete;
    WordHost& operator=(const WordHost&) = delete;

    // True while the office process this program drives is alive and answers.
    bool IsWordRunning();
    // Makes the office visible when it runs; otherwise nothing.
    void ShowWord();
    // "" does nothing and returns the current name. A path that matches no file sets the
    // current name to "" and returns "". Otherwise discards the previous working document
    // unsaved, creates a new one from the template and returns its name ("" on failure).
    std::string OpenTemplate(std::string_view path);
    // Exact, case-sensitive search among the open documents. An empty `name` is first set to
    // CurrentDocumentName().
    bool IsDocumentOpen(std::string& name);
    // Closes the named document without saving; an empty `name` is first set to the current one.
    void CloseDocument(std::string& name);

    // Bookmark names of the current document joined by CR LF; "" without one.
    std::string ListBookmarks();
    bool BookmarkExists(std::string_view name);
    // True when the bookmark exists and the write was sent.
    bool SetBookmarkText(std::string_view name, std::string_view value);

    // Saves the current document as `fileName`; the format follows the extension. Returns true
    // only when the office reported success and the file exists afterwards.
    bool SaveDocumentAs(std::string_view fileName);
    // Prints the named document (empty: first set to the current one) to the default printer;
    // true when the office accepted the job.
    bool PrintDocument(std::string& name);

    // Asks, then ends every office process of this user through "vbs/closeword.sh", with a pause
    // between launches and a bounded number of attempts; reports a missing script or an office
    // that could not be ended.
    void ForceCloseWord(UserDialogs& dialogs);

    const std::string& CurrentDocumentName() const { return currentDocumentName_; }

private:
    void QuitWord();
    std::unique_ptr<Document> CurrentDocument();

    std::unique_ptr<AutomationServer> server_;
    std::string programFolder_;
    std::unique_ptr<Application> wordApplication_;
    std::string currentDocumentName_;
};

}  // namespace qm::word
