#include "tests/support/fake_office.h"

#include <fstream>
#include <sstream>

namespace qm::test {

namespace {

constexpr std::string_view kHeader = "#quillmerge-fake-office";

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

std::string NameOfPath(std::string_view path) {
    const std::size_t at = path.rfind('/');
    return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

}  // namespace

bool WriteFakeTemplate(const std::string& path, const BookmarkTexts& bookmarks) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << kHeader << '\n';
    for (const auto& [name, text] : bookmarks) out << Escape(name) << '\t' << Escape(text) << '\n';
    out.close();
    return static_cast<bool>(out);
}

bool ReadFakeDocument(const std::string& path, BookmarkTexts& bookmarks) {
    bookmarks.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    if (!std::getline(in, line) || line != kHeader) return false;
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        bookmarks.emplace_back(Unescape(std::string_view(line).substr(0, tab)),
                               Unescape(std::string_view(line).substr(tab + 1)));
    }
    return true;
}

std::string FakeBookmarkText(const BookmarkTexts& bookmarks, std::string_view name) {
    for (const auto& [n, text] : bookmarks)
        if (n == name) return text;
    return {};
}

struct FakeDoc {
    std::string name;
    std::string fullPath;
    BookmarkTexts bookmarks;
    bool open = true;
};

struct FakeOfficeState {
    bool alive = false;
    int generation = 0;
    int untitled = 0;
    std::vector<std::shared_ptr<FakeDoc>> docs;  // open documents in creation order

    std::vector<FakeOffice::Write> writes;
    std::vector<std::string> saved;
    std::vector<FakeOffice::PrintJob> jobs;
    int created = 0;
    int started = 0;
    bool visible = false;
    bool quit = false;

    long long ops = 0;
    long long dieAt = -1;
    int saveCountdown = 0;
    std::function<bool(std::string_view)> failSave, dropSave, failPrint;
    bool restartable = true;
    bool unavailable = false;

    bool living() {
        if (alive && dieAt >= 0 && ops >= dieAt) alive = false;
        return alive;
    }
    // Counts one member call of an object of office `gen`; false when that office is gone.
    bool answer(int gen) {
        if (!living() || gen != generation) return false;
        ++ops;
        return true;
    }
    void die() {
        alive = false;
        docs.clear();
    }
    void closeDoc(const std::shared_ptr<FakeDoc>& doc) {
        doc->open = false;
        std::erase(docs, doc);
    }
};

namespace {

using StatePtr = std::shared_ptr<FakeOfficeState>;

class FakeRange : public word::Range {
  public:
    FakeRange(StatePtr s, int gen, std::shared_ptr<FakeDoc> doc, std::string name)
        : s_(std::move(s)), gen_(gen), doc_(std::move(doc)), name_(std::move(name)) {}
    bool setText(std::string_view value) override {
        if (!s_->answer(gen_) || !doc_->open) return false;
        for (auto& [n, text] : doc_->bookmarks) {
            if (n == name_) {
                text = value;
                s_->writes.push_back({doc_->name, name_, std::string(value)});
                return true;
            }
        }
        return false;
    }

  private:
    StatePtr s_;
    int gen_;
    std::shared_ptr<FakeDoc> doc_;
    std::string name_;
};

class FakeBookmark : public word::Bookmark {
  public:
    FakeBookmark(StatePtr s, int gen, std::shared_ptr<FakeDoc> doc, std::string name)
        : s_(std::move(s)), gen_(gen), doc_(std::move(doc)), name_(std::move(name)) {}
    std::string name() override { return s_->answer(gen_) && doc_->open ? name_ : std::string(); }
    std::unique_ptr<word::Range> range() override {
        if (!s_->answer(gen_) || !doc_->open) return nullptr;
        return std::make_unique<FakeRange>(s_, gen_, doc_, name_);
    }

  private:
    StatePtr s_;
    int gen_;
    std::shared_ptr<FakeDoc> doc_;
    std::string name_;
};

class FakeBookmarks : public word::Bookmarks {
  public:
    FakeBookmarks(StatePtr s, int gen, std::shared_ptr<FakeDoc> doc)
        : s_(std::move(s)), gen_(gen), doc_(std::move(doc)) {}
    int count() override {
        return s_->answer(gen_) && doc_->open ? static_cast<int>(doc_->bookmarks.size()) : 0;
    }
    std::unique_ptr<word::Bookmark> item(int index) override {
        if (!s_->answer(gen_) || !doc_->open) return nullptr;
        if (index < 1 || index > static_cast<int>(doc_->bookmarks.size())) return nullptr;
        return std::make_unique<FakeBookmark>(s_, gen_, doc_, doc_->bookmarks[index - 1].first);
    }
    std::unique_ptr<word::Bookmark> item(std::string_view name) override {
        if (!s_->answer(gen_) || !doc_->open) return nullptr;
        for (const auto& [n, text] : doc_->bookmarks)
            if (n == name) return std::make_unique<FakeBookmark>(s_, gen_, doc_, n);
        return nullptr;
    }

  private:
    StatePtr s_;
    int gen_;
    std::shared_ptr<FakeDoc> doc_;
};

class FakeDocument : public word::Document {
  public:
    FakeDocument(StatePtr s, int gen, std::shared_ptr<FakeDoc> doc)
        : s_(std::move(s)), gen_(gen), doc_(std::move(doc)) {}
    std::string name() override { return s_->answer(gen_) && doc_->open ? doc_->name : std::string(); }
    void setSaved(bool) override { s_->answer(gen_); }
    void close() override {
        if (s_->answer(gen_) && doc_->open) s_->closeDoc(doc_);
    }
    std::unique_ptr<word::Bookmarks> bookmarks() override {
        if (!s_->answer(gen_) || !doc_->open) return nullptr;
        return std::make_unique<FakeBookmarks>(s_, gen_, doc_);
    }
    bool saveAs(std::string_view path) override {
        if (!s_->answer(gen_) || !doc_->open) return false;
        if (s_->saveCountdown > 0 && --s_->saveCountdown == 0) {
            s_->die();
            return false;
        }
        if (s_->failSave && s_->failSave(path)) return false;
        if (!(s_->dropSave && s_->dropSave(path))) {
            if (!WriteFakeTemplate(std::string(path), doc_->bookmarks)) return false;
        }
        doc_->fullPath = path;
        doc_->name = NameOfPath(path);
        s_->saved.emplace_back(path);
        return true;
    }
    bool printOut() override {
        if (!s_->answer(gen_) || !doc_->open) return false;
        if (s_->failPrint && s_->failPrint(doc_->name)) return false;
        s_->jobs.push_back({doc_->name, doc_->bookmarks});
        return true;
    }

  private:
    StatePtr s_;
    int gen_;
    std::shared_ptr<FakeDoc> doc_;
};

class FakeDocuments : public word::Documents {
  public:
    FakeDocuments(StatePtr s, int gen) : s_(std::move(s)), gen_(gen) {}
    std::unique_ptr<word::Document> add(std::string_view templatePath) override {
        if (!s_->answer(gen_)) return nullptr;
        auto doc = std::make_shared<FakeDoc>();
        if (!ReadFakeDocument(std::string(templatePath), doc->bookmarks)) return nullptr;
        doc->name = "Untitled " + std::to_string(++s_->untitled);
        s_->docs.push_back(doc);
        ++s_->created;
        return std::make_unique<FakeDocument>(s_, gen_, doc);
    }
    int count() override { return s_->answer(gen_) ? static_cast<int>(s_->docs.size()) : 0; }
    std::unique_ptr<word::Document> item(int index) override {
        if (!s_->answer(gen_) || index < 1 || index > static_cast<int>(s_->docs.size())) return nullptr;
        return std::make_unique<FakeDocument>(s_, gen_, s_->docs[index - 1]);
    }
    std::unique_ptr<word::Document> item(std::string_view name) override {
        if (!s_->answer(gen_)) return nullptr;
        for (const auto& doc : s_->docs)
            if (doc->name == name || (!doc->fullPath.empty() && doc->fullPath == name))
                return std::make_unique<FakeDocument>(s_, gen_, doc);
        return nullptr;
    }

  private:
    StatePtr s_;
    int gen_;
};

class FakeApplication : public word::Application {
  public:
    FakeApplication(StatePtr s, int gen) : s_(std::move(s)), gen_(gen) {}
    void setVisible(bool visible) override {
        if (s_->answer(gen_)) s_->visible = visible;
    }
    std::unique_ptr<word::Documents> documents() override {
        if (!s_->answer(gen_)) return nullptr;
        return std::make_unique<FakeDocuments>(s_, gen_);
    }
    void quit(int) override {
        if (!s_->answer(gen_)) return;
        s_->quit = true;
        s_->die();
    }

  private:
    StatePtr s_;
    int gen_;
};

}  // namespace

FakeOffice::FakeOffice() : state_(std::make_shared<FakeOfficeState>()) {}
FakeOffice::~FakeOffice() = default;

std::unique_ptr<word::Application> FakeOffice::createApplication() {
    FakeOfficeState& s = *state_;
    if (s.unavailable) return nullptr;
    if (!s.living()) {
        if (s.generation > 0 && !s.restartable) return nullptr;
        s.die();
        ++s.generation;
        ++s.started;
        s.alive = true;
        s.untitled = 0;
        s.dieAt = -1;
        s.visible = false;
    }
    return std::make_unique<FakeApplication>(state_, s.generation);
}

bool FakeOffice::windowExists() {
    return state_->living();
}

const std::vector<FakeOffice::Write>& FakeOffice::writes() const {
    return state_->writes;
}
const std::vector<std::string>& FakeOffice::savedPaths() const {
    return state_->saved;
}
const std::vector<FakeOffice::PrintJob>& FakeOffice::printJobs() const {
    return state_->jobs;
}
int FakeOffice::documentsCreated() const {
    return state_->created;
}
int FakeOffice::openDocumentCount() const {
    return static_cast<int>(state_->docs.size());
}
std::vector<std::string> FakeOffice::openDocumentNames() const {
    std::vector<std::string> names;
    for (const auto& doc : state_->docs) names.push_back(doc->name);
    return names;
}
int FakeOffice::applicationsStarted() const {
    return state_->started;
}
bool FakeOffice::visible() const {
    return state_->visible;
}
bool FakeOffice::quitCalled() const {
    return state_->quit;
}
long long FakeOffice::operations() const {
    return state_->ops;
}

void FakeOffice::failSaves(std::function<bool(std::string_view)> predicate) {
    state_->failSave = std::move(predicate);
}
void FakeOffice::dropSaves(std::function<bool(std::string_view)> predicate) {
    state_->dropSave = std::move(predicate);
}
void FakeOffice::failPrints(std::function<bool(std::string_view)> predicate) {
    state_->failPrint = std::move(predicate);
}
void FakeOffice::dieAfterOperations(long long count) {
    state_->dieAt = state_->ops + count;
}
void FakeOffice::dieOnSave(int n) {
    state_->saveCountdown = n;
}
void FakeOffice::kill() {
    state_->die();
}
bool FakeOffice::alive() const {
    return state_->living();
}
void FakeOffice::setRestartable(bool restartable) {
    state_->restartable = restartable;
}
void FakeOffice::setUnavailable(bool unavailable) {
    state_->unavailable = unavailable;
}

}  // namespace qm::test
