#pragma once
// The automation server as the program sees it: an application with its documents, a document
// with its bookmarks, a bookmark with its range. Only WordHost talks to it.
//
// Calling rules: no member throws or shows anything. A failed call (no server, a dead server,
// a missing member, a server error) yields an empty result: nullptr for an object, "" for a
// text, 0 for a count, false for a flag. Objects are released as soon as the caller drops them.
// Names are UTF-8 and compared byte for byte.

#include <memory>
#include <string>
#include <string_view>

namespace qm::word {

class Range {
public:
    virtual ~Range() = default;
    // The range's text becomes `value`; false when the write failed.
    virtual bool setText(std::string_view value) = 0;
};

class Bookmark {
public:
    virtual ~Bookmark() = default;
    virtual std::string name() = 0;
    virtual std::unique_ptr<Range> range() = 0;
};

class Bookmarks {
public:
    virtual ~Bookmarks() = default;
    virtual int count() = 0;
    virtual std::unique_ptr<Bookmark> item(int index) = 0;  // from 1
    virtual std::unique_ptr<Bookmark> item(std::string_view name) = 0;
};

class Document {
public:
    virtual ~Document() = default;
    virtual std::string name() = 0;
    virtual void setSaved(bool saved) = 0;
    virtual void close() = 0;
    virtual std::unique_ptr<Bookmarks> bookmarks() = 0;
    // Writes the document to `path`, the format chosen by the extension (.doc, .docx, .odt,
    // .pdf). After it the document is found by `path`. False when the server reports failure.
    virtual bool saveAs(std::string_view path) = 0;
    // Sends the whole document to the default printer; false when the server reports failure.
    virtual bool printOut() = 0;
};

class Documents {
public:
    virtual ~Documents() = default;
    // A new, hidden document based on the template file; the file itself is not opened for
    // editing. nullptr on failure.
    virtual std::unique_ptr<Document> add(std::string_view templatePath) = 0;
    virtual int count() = 0;
    virtual std::unique_ptr<Document> item(int index) = 0;  // from 1
    // By the name the server gave the document, or the full file name it was saved under.
    virtual std::unique_ptr<Document> item(std::string_view name) = 0;
};

class Application {
public:
    virtual ~Application() = default;
    virtual void setVisible(bool visible) = 0;
    virtual std::unique_ptr<Documents> documents() = 0;
    // Ends the server without saving; the object is dead afterwards.
    virtual void quit(int saveChanges) = 0;
};

// Creates application objects and tells whether a server window exists.
class AutomationServer {
public:
    virtual ~AutomationServer() = default;
    // Starts (or reconnects to) the server; nullptr when it cannot be started.
    virtual std::unique_ptr<Application> createApplication() = 0;
    // True while the server process this program drives is alive and answers.
    virtual bool windowExists() = 0;
};

}  // namespace qm::word
