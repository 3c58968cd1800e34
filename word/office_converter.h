#pragma once
// Documents the engine made, turned into PDF or ODT files by the office while the run goes on
// making the next ones: several office processes side by side, and for PDFs of .docx documents
// many documents to one load and one export. Such a group is joined into one document (see
// docx_join.h), exported once, and split again where each document's first page is, so every
// PDF has the pages a conversion of its own would give. Groups that cannot be joined or split
// so are converted one document at a time, and the reason is kept for the run's report.
//
// The converter lives as long as its host and keeps its offices between runs, so that a second
// run finds them started. Office 0 is the host's own: it is used only between Begin and
// Finish or Stop, while the run has the host to itself.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "word/engine/template.h"
#include "word/office.h"
#include "word/working_document.h"

namespace qm::word {

// One document to convert.
struct Conversion {
    int key = 0;                      // the caller's number for it
    std::vector<std::uint8_t> bytes;  // the whole document, as the engine made it
    engine::Format format = engine::Format::Docx;
    std::string target;  // where the converted file goes; its extension (.pdf, .odt) is the format
    // Only its pages are wanted, in the order of the keys, in one PDF made of all: a joined group
    // is then written whole to the target of its first document.
    bool pagesOnly = false;
    bool retried = false;
};

// What became of one document.
struct Converted {
    int key = 0;
    SaveResult saved;
    // Its pages are in the file of the document before it (pagesOnly): no file of its own.
    bool inPrevious = false;
};

// An office that ended under its documents during a run, to be started again for the next.
struct OfficeRestart {
    int office = 0;  // which, from 1 (the host's own office is 1)
    OfficeEnd end = OfficeEnd::Stopped;
};

// Makes the office of slot `slot` (1, 2, …), not yet started.
using OfficeFactory = std::function<std::unique_ptr<Office>(int slot)>;

class OfficeConverter {
  public:
    // `first` (not owned, outlives the converter) is office 0; `more` makes the others, when
    // there are to be more.
    OfficeConverter(Office* first, OfficeFactory more);
    // Ends the offices it made and its threads.
    ~OfficeConverter();
    OfficeConverter(const OfficeConverter&) = delete;
    OfficeConverter& operator=(const OfficeConverter&) = delete;

    // Offices in all, from 1; taken at the next Begin. Without a factory there is only one.
    void SetWorkers(int workers);
    // The bounds of the offices of its own; taken by each before its next documents.
    void SetLimits(const OfficeLimits& limits);
    // The offices that ended under their documents during this run, in the order they ended.
    std::vector<OfficeRestart> restarts() const;
    // False converts every document by itself (for comparisons).
    void SetJoining(bool join);

    // Starts the offices of its own (all but office 0) in the background, so that a run that
    // comes finds them ready.
    void StartOffices();
    // How many of the offices of its own run now.
    int officesRunning() const;
    // True while an office of its own is alive; an office being started is waited for. Collects
    // one that has ended. Not during a run.
    bool OwnOfficesAlive();
    // Ends the offices of its own (after a forced close, say): each is collected and its profile
    // folder removed, and none is started again until StartOffices or a run asks for it. An
    // office being started, or converting, is waited for. Not during a run.
    void EndOffices();

    // Starts a run.
    void Begin();
    // Queues `item` (moved from only when taken). When the queue is full, waits up to `wait` for
    // room and returns false if none came: the caller takes results and calls again.
    bool Add(Conversion& item, std::chrono::milliseconds wait);
    // The documents finished since the last call.
    std::vector<Converted> Take();
    // Waits until every queued document is finished; false when `wait` passed first.
    bool WaitAll(std::chrono::milliseconds wait);
    // Drops every queued document that no office has begun, and waits for those in hand.
    void Stop();
    // Why documents went one by one although the run could have joined them; "" when none did.
    std::string separateReason() const;

  private:
    struct Worker;
    void MakeWorkers();  // with mutex_ held
    void Work(Worker& worker);
    void Convert(Office& office, std::vector<Conversion>& group, std::vector<Converted>& done);
    bool ConvertJoined(Office& office, std::vector<Conversion>& group, std::vector<Converted>& done);
    void NoteSeparate(const std::string& reason);
    bool Joinable(const Conversion& item) const;

    Office* first_;
    OfficeFactory more_;
    int workers_ = 1;
    bool join_ = true;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Conversion> queue_;
    std::vector<Converted> done_;
    int inHand_ = 0;    // documents taken by an office and not yet finished
    int starting_ = 0;  // offices of its own being started, outside the lock
    bool running_ = false;
    bool ending_ = false;
    std::string separateReason_;
    std::vector<OfficeRestart> restarts_;
    OfficeLimits limits_;
    int limitsSerial_ = 0;  // counts SetLimits calls
    bool joinRefused_ = false;
    bool warm_ = false;  // offices of its own are to be started even without documents
    std::vector<std::unique_ptr<Worker>> pool_;
};

}  // namespace qm::word
