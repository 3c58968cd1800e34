#include "tests/support/fake_office.h"

#include <fstream>
#include <sstream>

#include "tests/support/tab_fields.h"

namespace qm::test {

namespace {

constexpr std::string_view kHeader = "#quillmerge-fake-office";

}  // namespace

bool WriteFakeTemplate(const std::string& path, const BookmarkTexts& bookmarks) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << kHeader << '\n';
    for (const auto& [name, text] : bookmarks) out << EscapeField(name) << '\t' << EscapeField(text) << '\n';
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
        bookmarks.emplace_back(UnescapeField(std::string_view(line).substr(0, tab)),
                               UnescapeField(std::string_view(line).substr(tab + 1)));
    }
    return true;
}

std::string FakeBookmarkText(const BookmarkTexts& bookmarks, std::string_view name) {
    for (const auto& [n, text] : bookmarks)
        if (n == name) return text;
    return {};
}

struct FakeDoc {
    word::DocumentId id = 0;
    std::string name;
    BookmarkTexts bookmarks;
    bool open = true;
};

struct FakeOfficeState {
    bool alive = false;
    int generation = 0;
    int untitled = 0;
    word::DocumentId nextId = 0;
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
    std::function<bool(std::string_view)> failSave, dropSave, failPrint, failWrite;
    std::function<bool()> dieCondition;
    std::function<void()> quitCallback;
    bool restartable = true;
    bool unavailable = false;

    bool living() {
        if (alive && dieAt >= 0 && ops >= dieAt) alive = false;
        if (alive && dieCondition && dieCondition()) die();
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

FakeOffice::FakeOffice() : state_(std::make_shared<FakeOfficeState>()) {}
FakeOffice::~FakeOffice() = default;

bool FakeOffice::start() {
    FakeOfficeState& s = *state_;
    if (s.unavailable) return false;
    if (s.living()) return true;
    if (s.generation > 0 && !s.restartable) return false;
    s.die();
    ++s.generation;
    ++s.started;
    s.alive = true;
    s.untitled = 0;
    s.dieAt = -1;
    s.visible = false;
    return true;
}

std::shared_ptr<FakeDoc> FakeOffice::find(word::DocumentId id) {
    FakeOfficeState& s = *state_;
    if (!s.answer(s.generation)) return nullptr;
    for (const auto& doc : s.docs)
        if (doc->id == id && doc->open) return doc;
    return nullptr;
}

bool FakeOffice::running() {
    return state_->living();
}

word::DocumentId FakeOffice::openTemplate(std::string_view path) {
    FakeOfficeState& s = *state_;
    if (!start() || !s.answer(s.generation)) return 0;
    auto doc = std::make_shared<FakeDoc>();
    if (!ReadFakeDocument(std::string(path), doc->bookmarks)) return 0;
    doc->name = "Untitled " + std::to_string(++s.untitled);
    doc->id = ++s.nextId;
    s.docs.push_back(doc);
    ++s.created;
    return doc->id;
}

bool FakeOffice::isOpen(word::DocumentId id) {
    return find(id) != nullptr;
}

std::string FakeOffice::title(word::DocumentId id) {
    auto doc = find(id);
    return doc ? doc->name : std::string();
}

std::vector<std::string> FakeOffice::bookmarkNames(word::DocumentId id) {
    std::vector<std::string> names;
    if (auto doc = find(id))
        for (const auto& [name, text] : doc->bookmarks) names.push_back(name);
    return names;
}

bool FakeOffice::setBookmarkText(word::DocumentId id, std::string_view name, std::string_view value) {
    auto doc = find(id);
    if (!doc) return false;
    for (auto& [n, text] : doc->bookmarks) {
        if (n == name) {
            if (state_->failWrite && state_->failWrite(name)) return false;
            text = value;
            state_->writes.push_back({doc->name, n, std::string(value)});
            return true;
        }
    }
    return false;
}

bool FakeOffice::saveAs(word::DocumentId id, std::string_view path) {
    FakeOfficeState& s = *state_;
    auto doc = find(id);
    if (!doc) return false;
    if (s.saveCountdown > 0 && --s.saveCountdown == 0) {
        s.die();
        return false;
    }
    if (s.failSave && s.failSave(path)) return false;
    if (!(s.dropSave && s.dropSave(path))) {
        if (!WriteFakeTemplate(std::string(path), doc->bookmarks)) return false;
    }
    // The host saves beside the final name first (".~qm-<machine>-<pid>.<tag>-<name>"); the
    // test wants to know which document was saved.
    std::string saved(path);
    const std::size_t slash = saved.rfind('/') + 1;
    if (saved.compare(slash, 5, ".~qm-") == 0) {
        const std::size_t dot = saved.find('.', slash + 5);
        const std::size_t dash = dot == std::string::npos ? dot : saved.find('-', dot);
        if (dash != std::string::npos) saved.erase(slash, dash + 1 - slash);
    }
    s.saved.push_back(saved);
    return true;
}

bool FakeOffice::print(word::DocumentId id, std::string_view jobName) {
    FakeOfficeState& s = *state_;
    auto doc = find(id);
    if (!doc) return false;
    const std::string job = jobName.empty() ? doc->name : std::string(jobName);
    if (s.failPrint && s.failPrint(job)) return false;
    s.jobs.push_back({job, doc->bookmarks});
    return true;
}

void FakeOffice::close(word::DocumentId id) {
    if (auto doc = find(id)) state_->closeDoc(doc);
}

void FakeOffice::show() {
    FakeOfficeState& s = *state_;
    if (s.answer(s.generation)) s.visible = true;
}

void FakeOffice::quit() {
    FakeOfficeState& s = *state_;
    if (!s.answer(s.generation)) return;
    s.quit = true;
    if (s.quitCallback) s.quitCallback();
    s.die();
}

void FakeOffice::closeEveryDocument() {
    FakeOfficeState& s = *state_;
    for (const auto& doc : std::vector<std::shared_ptr<FakeDoc>>(s.docs)) s.closeDoc(doc);
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
void FakeOffice::onQuit(std::function<void()> callback) {
    state_->quitCallback = std::move(callback);
}
void FakeOffice::dieWhen(std::function<bool()> condition) {
    state_->dieCondition = std::move(condition);
}
void FakeOffice::failWrites(std::function<bool(std::string_view)> predicate) {
    state_->failWrite = std::move(predicate);
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
