// The converter's own rules over a scripted office: every document comes back once, an office
// that dies has its documents done again once, a stop drops what no office took.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/fs.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"
#include "word/call_watch.h"
#include "word/office_converter.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using word::Conversion;
using word::Converted;
using word::DocumentId;
using word::OfficeConverter;

// Shared by the offices of one test: how many conversions each made, and when to die.
struct Script {
    std::mutex mutex;
    std::atomic<int> saves{0};
    int dieOnSave = 0;                      // the office of that save dies during it (0: never)
    std::set<std::string> alwaysDie;        // documents (by their target's name) whose save kills the office
    std::chrono::milliseconds saveTime{0};  // how long a save takes
    std::map<int, int> savesBySlot;
    word::OfficeEnd howItDies = word::OfficeEnd::Stopped;  // as the office tells it afterwards
    std::uint64_t memory = 0;                              // the limit each office was given
};

// An office that "converts" by writing a small PDF; it may die during a save, and starts anew on
// the next document, as the real one does.
class ScriptedOffice final : public word::Office {
  public:
    ScriptedOffice(Script& script, int slot) : script_(script), slot_(slot) {}
    bool running() override { return alive_; }
    bool startUp() override {
        alive_ = true;
        return true;
    }
    DocumentId openTemplate(std::string_view path) override {
        alive_ = true;
        std::vector<std::uint8_t> bytes;
        if (!ReadFileBytes(path, bytes)) return 0;
        documents_[++next_] = std::string(bytes.begin(), bytes.end());
        return next_;
    }
    bool isOpen(DocumentId id) override { return documents_.count(id) != 0; }
    std::string title(DocumentId) override { return {}; }
    std::vector<std::string> bookmarkNames(DocumentId) override { return {}; }
    bool setBookmarkText(DocumentId, std::string_view, std::string_view) override { return false; }
    bool saveAs(DocumentId id, std::string_view path) override {
        if (!alive_ || !documents_.count(id)) return false;
        std::this_thread::sleep_for(script_.saveTime);
        const int n = ++script_.saves;
        {
            std::lock_guard lock(script_.mutex);
            ++script_.savesBySlot[slot_];
            if (n == script_.dieOnSave || script_.alwaysDie.count(documents_[id])) {
                alive_ = false;
                documents_.clear();
                ends_.push_back(script_.howItDies);
                return false;
            }
        }
        const std::string pdf = "%PDF-1.4 " + documents_[id] + " %%EOF";
        int code = 0;
        return ReplaceFile(path, std::vector<std::uint8_t>(pdf.begin(), pdf.end()), nullptr, code);
    }
    bool print(DocumentId, std::string_view) override { return false; }
    void close(DocumentId id) override { documents_.erase(id); }
    void show() override {}
    void quit() override { alive_ = false; }
    void setLimits(const word::OfficeLimits& limits) override {
        std::lock_guard lock(script_.mutex);
        memory_ = limits.memory;
        script_.memory = limits.memory;
    }
    std::uint64_t memoryLimit() const override { return memory_; }
    word::OfficeEnd takeEnd() override {
        if (ends_.empty()) return word::OfficeEnd::None;
        const word::OfficeEnd end = ends_.front();
        ends_.erase(ends_.begin());
        return end;
    }

  private:
    Script& script_;
    int slot_;
    std::uint64_t memory_ = 0;
    std::vector<word::OfficeEnd> ends_;
    bool alive_ = false;
    DocumentId next_ = 0;
    std::map<DocumentId, std::string> documents_;
};

class OfficeConverterTest : public ::testing::Test {
  protected:
    OfficeConverterTest() : first_(script_, 0) {}

    // A converter with `workers` offices.
    std::unique_ptr<OfficeConverter> Make(int workers) {
        auto converter = std::make_unique<OfficeConverter>(
            &first_, [this](int slot) { return std::make_unique<ScriptedOffice>(script_, slot); });
        converter->SetWorkers(workers);
        return converter;
    }

    // Document `n` (not a .docx, so each goes by itself), named after its number.
    Conversion Item(int n) {
        Conversion c;
        c.key = n;
        const std::string text = "doc" + std::to_string(n);
        c.bytes.assign(text.begin(), text.end());
        c.format = engine::Format::Doc;
        c.target = folder_.path() + "/" + std::to_string(n) + ".pdf";
        return c;
    }

    // Queues documents 1..count, then waits for all; the results by key.
    std::map<int, Converted> ConvertAll(OfficeConverter& converter, int count) {
        std::map<int, Converted> results;
        converter.Begin();
        for (int n = 1; n <= count; ++n) {
            Conversion c = Item(n);
            while (!converter.Add(c, 50ms))
                for (Converted& r : converter.Take()) EXPECT_TRUE(results.emplace(r.key, r).second) << r.key;
        }
        EXPECT_TRUE(converter.WaitAll(60s));
        for (Converted& r : converter.Take()) EXPECT_TRUE(results.emplace(r.key, r).second) << r.key;
        return results;
    }

    Script script_;
    ScriptedOffice first_;
    TempFolder folder_;
};

TEST_F(OfficeConverterTest, EveryDocumentComesBackOnceWrittenWhereItGoesAcrossTheOffices) {
    script_.saveTime = 2ms;
    auto converter = Make(3);
    const std::map<int, Converted> results = ConvertAll(*converter, 400);
    ASSERT_EQ(results.size(), 400u);
    for (const auto& [key, r] : results) {
        EXPECT_TRUE(r.saved.ok) << key << ": " << r.saved.error;
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(ReadFileBytes(folder_.path() + "/" + std::to_string(key) + ".pdf", bytes));
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "%PDF-1.4 doc" + std::to_string(key) + " %%EOF");
    }
    // The offices shared the work; a second run on the same converter works as the first.
    EXPECT_GE(script_.savesBySlot.size(), 2u);
    EXPECT_EQ(ConvertAll(*converter, 10).size(), 10u);
    EXPECT_TRUE(converter->separateReason().empty());
}

TEST_F(OfficeConverterTest, AnOfficeThatDiesHasItsDocumentDoneAgainOnceThenReportedFailed) {
    // One office: the 5th save dies; that document is converted again by the office started anew.
    script_.dieOnSave = 5;
    auto converter = Make(1);
    std::map<int, Converted> results = ConvertAll(*converter, 12);
    ASSERT_EQ(results.size(), 12u);
    for (const auto& [key, r] : results) EXPECT_TRUE(r.saved.ok) << key;
    EXPECT_EQ(script_.saves.load(), 13);

    // A document that kills every office it meets fails after its second try, with why; the
    // others are made, none twice.
    std::filesystem::remove(folder_.path() + "/3.pdf");
    script_.saves = 0;
    script_.dieOnSave = 0;
    script_.alwaysDie = {"doc3"};
    results = ConvertAll(*converter, 6);
    ASSERT_EQ(results.size(), 6u);
    EXPECT_FALSE(results[3].saved.ok);
    EXPECT_NE(results[3].saved.error.find("office stopped"), std::string::npos) << results[3].saved.error;
    for (int key : {1, 2, 4, 5, 6}) EXPECT_TRUE(results[key].saved.ok) << key;
    EXPECT_EQ(script_.saves.load(), 7);
    EXPECT_FALSE(FileExists(folder_.path() + "/3.pdf"));
}

// However the office ended under a document (a crash, no answer in time, its memory limit), the
// document is tried once more on a new office, the restart is counted with its cause for the
// run's report, and a document that fails again says that cause in its own kind.
TEST_F(OfficeConverterTest, EachEndOfAnOfficeIsCountedAndTheFailureSaysHowItEnded) {
    auto converter = Make(2);
    word::OfficeLimits limits;
    limits.memory = std::uint64_t{900} << 20;
    converter->SetLimits(limits);
    first_.setLimits(limits);  // office 0's are its host's to give
    const struct {
        word::OfficeEnd end;
        word::SaveFault fault;
        const char* words;
    } kCases[] = {
        {word::OfficeEnd::Stopped, word::SaveFault::OfficeStopped, "office stopped"},
        {word::OfficeEnd::NoAnswer, word::SaveFault::OfficeNoAnswer, "did not answer in time"},
        {word::OfficeEnd::OutOfMemory, word::SaveFault::OfficeOutOfMemory,
         "too large for the office (900 MB)"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.words);
        for (const std::string& f : FilesIn(folder_.path(), ".pdf")) std::filesystem::remove(f);
        script_.howItDies = c.end;
        script_.alwaysDie = {"doc4"};
        std::map<int, Converted> results = ConvertAll(*converter, 8);
        ASSERT_EQ(results.size(), 8u);
        EXPECT_FALSE(results[4].saved.ok);
        EXPECT_EQ(results[4].saved.fault, c.fault);
        EXPECT_NE(results[4].saved.error.find(c.words), std::string::npos) << results[4].saved.error;
        if (c.end == word::OfficeEnd::OutOfMemory) {
            EXPECT_EQ(results[4].saved.megabytes, 900);
        }
        for (int key : {1, 2, 3, 5, 6, 7, 8}) EXPECT_TRUE(results[key].saved.ok) << key;
        // Its two tries ended two offices, each counted once, in this run only.
        const std::vector<word::OfficeRestart> restarts = converter->restarts();
        ASSERT_EQ(restarts.size(), 2u);
        for (const word::OfficeRestart& r : restarts) {
            EXPECT_EQ(r.end, c.end);
            EXPECT_TRUE(r.office == 1 || r.office == 2) << r.office;
        }
    }
    // The offices of its own were given the limits; a run without deaths counts none.
    EXPECT_EQ(script_.memory, limits.memory);
    script_.alwaysDie.clear();
    EXPECT_EQ(ConvertAll(*converter, 4).size(), 4u);
    EXPECT_TRUE(converter->restarts().empty());
}

TEST(CallWatchTest, ALateCallIsEndedOnceAndAPromptOneNeverIs) {
    word::CallWatch watch;
    std::atomic<int> ended{0};
    std::atomic<int> samples{0};
    {
        // Disarmed in time: nothing runs, however long the watch lives on.
        const word::CallWatch::Armed armed = watch.Arm(200ms, [&] { ++ended; });
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ended.load(), 0);
    EXPECT_FALSE(watch.wasLate());

    // A call that blocks until its end runs: released once the limit passes, sampled meanwhile.
    std::mutex mutex;
    std::condition_variable released;
    bool free = false;
    const auto began = std::chrono::steady_clock::now();
    {
        const word::CallWatch::Armed armed = watch.Arm(
            300ms,
            [&] {
                ++ended;
                std::lock_guard lock(mutex);
                free = true;
                released.notify_all();
            },
            [&] { ++samples; }, 20ms);
        std::unique_lock lock(mutex);
        ASSERT_TRUE(released.wait_for(lock, 10s, [&] { return free; }));
    }
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_GE(took, 300ms);
    EXPECT_EQ(ended.load(), 1);
    EXPECT_TRUE(watch.wasLate());
    EXPECT_GE(samples.load(), 3);
    // The next call starts afresh.
    {
        const word::CallWatch::Armed armed = watch.Arm(10s, [&] { ++ended; });
    }
    EXPECT_FALSE(watch.wasLate());
    EXPECT_EQ(ended.load(), 1);
}

TEST_F(OfficeConverterTest, AStopDropsWhatNoOfficeTookAndWaitsOnlyForTheWorkInHand) {
    script_.saveTime = 20ms;
    auto converter = Make(2);
    converter->Begin();
    int queued = 0;
    for (int n = 1; n <= 100; ++n) {
        Conversion c = Item(n);
        if (!converter->Add(c, 0ms)) break;
        ++queued;
    }
    ASSERT_GT(queued, 10);
    std::this_thread::sleep_for(60ms);
    const auto before = std::chrono::steady_clock::now();
    converter->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    const std::vector<Converted> results = converter->Take();
    EXPECT_LT(static_cast<int>(results.size()), queued);
    for (const Converted& r : results) EXPECT_TRUE(r.saved.ok);
    // Nothing more comes back, nothing more is written.
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(converter->Take().empty());
    EXPECT_EQ(FilesIn(folder_.path(), ".pdf").size(), results.size());
}

}  // namespace
}  // namespace qm::test
