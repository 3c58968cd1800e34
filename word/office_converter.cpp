#include "word/office_converter.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/fs.h"
#include "common/text.h"
#include "word/engine/docx_join.h"
#include "word/pdf_join.h"

namespace qm::word {

namespace {

// A group is as large as an office exports in about this time: large enough that one load and
// one export serve many documents, small enough that a stop is heard within a second.
constexpr auto kGroupTime = std::chrono::milliseconds(600);
// Beyond this, a larger group is slower again: the export's cost grows faster than its length.
constexpr std::size_t kLargestGroup = 25;
constexpr std::size_t kFirstGroup = 4;
// Documents queued for each office before Add waits: enough to keep it busy, not all of memory.
constexpr std::size_t kQueuedPerOffice = 3 * kLargestGroup;

constexpr std::string_view kNotConverted = "the office could not convert the document";
constexpr std::string_view kOfficeGone = "the office stopped while converting the document";

// What a document's failure says when its office ended under it.
void Ended(SaveResult& saved, OfficeEnd end, std::uint64_t memory) {
    switch (end) {
        case OfficeEnd::NoAnswer:
            saved.fault = SaveFault::OfficeNoAnswer;
            saved.error = "the office did not answer in time while converting the document";
            return;
        case OfficeEnd::OutOfMemory:
            saved.fault = SaveFault::OfficeOutOfMemory;
            saved.megabytes = static_cast<double>(memory >> 20);
            saved.error =
                "the document is too large for the office (" + std::to_string(memory >> 20) + " MB)";
            return;
        case OfficeEnd::None:
        case OfficeEnd::Stopped:
            break;
    }
    saved.fault = SaveFault::OfficeStopped;
    saved.error = std::string(kOfficeGone);
}

}  // namespace

struct OfficeConverter::Worker {
    int index = 0;
    std::unique_ptr<Office> own;  // offices 1, 2, …; office 0 is the host's
    Office* office = nullptr;
    bool failed = false;   // its office did not start this run
    bool started = false;  // its office was started
    std::size_t groupSize = kFirstGroup;
    int limitsSeen = 0;  // the limits it gave its office, by OfficeConverter::limitsSerial_
    std::thread thread;
};

OfficeConverter::OfficeConverter(Office* first, OfficeFactory more) : first_(first), more_(std::move(more)) {}

OfficeConverter::~OfficeConverter() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    for (auto& worker : pool_)
        if (worker->thread.joinable()) worker->thread.join();
    for (auto& worker : pool_)
        if (worker->own) worker->own->quit();
}

void OfficeConverter::SetWorkers(int workers) {
    std::lock_guard lock(mutex_);
    workers_ = std::max(1, more_ ? workers : 1);
}

void OfficeConverter::SetLimits(const OfficeLimits& limits) {
    std::lock_guard lock(mutex_);
    limits_ = limits;
    ++limitsSerial_;
}

std::vector<OfficeRestart> OfficeConverter::restarts() const {
    std::lock_guard lock(mutex_);
    return restarts_;
}

void OfficeConverter::SetJoining(bool join) {
    std::lock_guard lock(mutex_);
    join_ = join;
}

void OfficeConverter::Begin() {
    std::lock_guard lock(mutex_);
    running_ = true;
    done_.clear();
    separateReason_.clear();
    restarts_.clear();
    joinRefused_ = false;
    for (auto& worker : pool_) worker->failed = false;
    MakeWorkers();
    changed_.notify_all();
}

void OfficeConverter::StartOffices() {
    std::lock_guard lock(mutex_);
    warm_ = true;
    MakeWorkers();
    changed_.notify_all();
}

int OfficeConverter::officesRunning() const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& worker : pool_)
        if (worker->index > 0 && worker->started) ++n;
    return n;
}

bool OfficeConverter::OwnOfficesAlive() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return starting_ == 0; });
    for (const auto& worker : pool_)
        if (worker->own && worker->own->running()) return true;
    return false;
}

void OfficeConverter::EndOffices() {
    std::unique_lock lock(mutex_);
    // Otherwise an idle worker would start its office again as soon as it saw it gone.
    warm_ = false;
    changed_.wait(lock, [&] { return starting_ == 0 && inHand_ == 0; });
    // The workers wait for the lock meanwhile, so none touches its office while it is ended.
    for (auto& worker : pool_) {
        if (!worker->own) continue;
        worker->own->quit();
        worker->started = false;
    }
}

void OfficeConverter::MakeWorkers() {
    while (static_cast<int>(pool_.size()) < workers_) {
        auto worker = std::make_unique<Worker>();
        worker->index = static_cast<int>(pool_.size());
        Worker& w = *worker;
        pool_.push_back(std::move(worker));
        w.thread = std::thread([this, &w] { Work(w); });
    }
}

bool OfficeConverter::Add(Conversion& item, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    const std::size_t room = kQueuedPerOffice * static_cast<std::size_t>(workers_);
    if (!changed_.wait_for(lock, wait, [&] { return queue_.size() < room; })) return false;
    queue_.push_back(std::move(item));
    changed_.notify_all();
    return true;
}

std::vector<Converted> OfficeConverter::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(done_, {});
}

bool OfficeConverter::WaitAll(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    const bool all = changed_.wait_for(lock, wait, [&] { return queue_.empty() && inHand_ == 0; });
    if (all) running_ = false;
    return all;
}

void OfficeConverter::Stop() {
    std::unique_lock lock(mutex_);
    queue_.clear();
    changed_.notify_all();
    changed_.wait(lock, [&] { return inHand_ == 0; });
    running_ = false;
}

std::string OfficeConverter::separateReason() const {
    std::lock_guard lock(mutex_);
    return separateReason_;
}

void OfficeConverter::NoteSeparate(const std::string& reason) {
    std::lock_guard lock(mutex_);
    joinRefused_ = true;
    if (separateReason_.empty()) separateReason_ = reason;
}

bool OfficeConverter::Joinable(const Conversion& item) const {
    return join_ && !joinRefused_ && item.format == engine::Format::Docx &&
           LowerExtension(item.target) == ".pdf";
}

void OfficeConverter::Work(Worker& worker) {
    std::unique_lock lock(mutex_);
    while (true) {
        const auto idle = [&] { return worker.index > 0 && (!worker.office || !worker.office->running()); };
        changed_.wait(lock, [&] {
            if (ending_) return true;
            if (worker.index >= workers_ || worker.failed) return false;
            return (running_ && !queue_.empty()) || (warm_ && idle());
        });
        if (ending_) return;
        if (idle()) {
            // An office of its own is started before it takes any document, so that the others
            // go on converting meanwhile.
            ++starting_;
            const OfficeLimits limits = limits_;
            worker.limitsSeen = limitsSerial_;
            lock.unlock();
            if (!worker.own) worker.own = more_(worker.index);
            worker.office = worker.own.get();
            if (worker.office) worker.office->setLimits(limits);
            const bool started = worker.office && worker.office->startUp();
            lock.lock();
            --starting_;
            worker.started = started;
            if (!started) worker.failed = true;
            changed_.notify_all();
            continue;
        }
        if (!worker.office) worker.office = first_;
        // Office 0's limits are its host's to set.
        if (worker.own && worker.limitsSeen != limitsSerial_) {
            worker.own->setLimits(limits_);
            worker.limitsSeen = limitsSerial_;
        }
        std::vector<Conversion> group;
        const std::size_t size = Joinable(queue_.front()) ? worker.groupSize : 1;
        while (group.size() < size && !queue_.empty() && (group.empty() || Joinable(queue_.front()))) {
            group.push_back(std::move(queue_.front()));
            queue_.pop_front();
        }
        const int taken = static_cast<int>(group.size());
        inHand_ += taken;
        changed_.notify_all();
        lock.unlock();

        // Ends from before (an office that died while idle) are not this group's.
        while (worker.office->takeEnd() != OfficeEnd::None) {
        }
        const auto began = std::chrono::steady_clock::now();
        std::vector<Converted> results;
        Convert(*worker.office, group, results);
        if (group.size() > 1) {
            const auto took = std::chrono::steady_clock::now() - began;
            if (took > 2 * kGroupTime && worker.groupSize > 1) worker.groupSize /= 2;
            if (took < kGroupTime) worker.groupSize = std::min(kLargestGroup, worker.groupSize * 2);
        }
        // An office that died under its documents: they are done again once, by whichever
        // office comes first (this one is started again by its next document).
        std::vector<Conversion> again;
        // Each end of its office under this group, even one it started again within a call.
        std::vector<OfficeEnd> ends;
        for (OfficeEnd e = worker.office->takeEnd(); e != OfficeEnd::None; e = worker.office->takeEnd())
            ends.push_back(e);
        const OfficeEnd end = ends.empty() ? OfficeEnd::Stopped : ends.back();
        if (!ends.empty() || !worker.office->running()) {
            for (std::size_t i = 0; i < results.size(); ++i) {
                if (results[i].saved.ok || group[i].retried) continue;
                group[i].retried = true;
                again.push_back(std::move(group[i]));
                results[i].key = -1;
            }
            std::erase_if(results, [](const Converted& c) { return c.key == -1; });
            for (Converted& c : results)
                if (!c.saved.ok && c.saved.fault == SaveFault::Unknown && c.saved.code == 0)
                    Ended(c.saved, end, worker.office->memoryLimit());
        }

        lock.lock();
        inHand_ -= taken;
        if (running_)
            for (OfficeEnd e : ends) restarts_.push_back({worker.index + 1, e});
        if (running_)
            for (auto it = again.rbegin(); it != again.rend(); ++it) queue_.push_front(std::move(*it));
        for (Converted& c : results) done_.push_back(std::move(c));
        changed_.notify_all();
    }
}

void OfficeConverter::Convert(Office& office, std::vector<Conversion>& group, std::vector<Converted>& done) {
    done.clear();
    if (group.size() > 1 && ConvertJoined(office, group, done)) return;
    done.clear();
    for (Conversion& item : group) {
        SaveResult failure;
        const DocumentId id = OpenBytesInOffice(office, item.bytes, engine::FormatExtension(item.format),
                                                item.target, kNotConverted, failure);
        if (id == 0) {
            done.push_back({item.key, failure});
            continue;
        }
        done.push_back({item.key, SaveFromOffice(office, id, item.target, kNotConverted)});
        office.close(id);
    }
}

// The group joined, exported once and split; false (nothing written) when it cannot be, the
// documents are then converted one by one.
bool OfficeConverter::ConvertJoined(Office& office, std::vector<Conversion>& group,
                                    std::vector<Converted>& done) {
    std::vector<std::vector<std::uint8_t>> documents;
    for (Conversion& item : group) documents.push_back(std::move(item.bytes));
    const auto giveBack = [&] {
        for (std::size_t i = 0; i < group.size(); ++i) group[i].bytes = std::move(documents[i]);
        return false;
    };
    std::vector<std::uint8_t> joined;
    std::string reason;
    if (!engine::docx::JoinDocx(documents, joined, reason)) {
        NoteSeparate(reason);
        return giveBack();
    }
    const std::string near = FolderOfPath(group.front().target) + "joined";
    SaveResult failure;
    const DocumentId id = OpenBytesInOffice(office, joined, ".docx", near, kNotConverted, failure);
    if (id == 0) return giveBack();
    const std::string scratch = office.scratchFolder();
    const std::string pdf = TemporaryNameBeside((scratch.empty() ? near : scratch + "/joined") + ".pdf");
    const bool exported = office.exportPdfWithMarks(id, pdf);
    office.close(id);
    std::vector<std::string> marks;
    for (std::size_t i = 0; i < group.size(); ++i)
        marks.push_back(engine::docx::JoinedDocumentMark(static_cast<int>(i) + 1));
    std::vector<int> starts;
    int pages = 0;
    std::vector<std::vector<std::uint8_t>> parts;
    std::string error;
    // Pages for one PDF of all stay together: the group's PDF is the part of its first document.
    const bool whole =
        std::all_of(group.begin(), group.end(), [](const Conversion& c) { return c.pagesOnly; });
    bool split = exported && DocumentStarts(pdf, marks, starts, pages, error);
    if (split && whole) {
        parts.emplace_back();
        split = ReadFileBytes(pdf, parts.back());
    } else if (split) {
        split = SplitPdfPages(pdf, starts, pages, parts, error);
    }
    ::unlink(pdf.c_str());
    if (!split) {
        // An export that failed says nothing of the template; pages that cannot be told apart do.
        if (exported) NoteSeparate(error);
        return giveBack();
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (whole && i > 0) {
            done.push_back({group[i].key, done.front().saved, true});
            continue;
        }
        int code = 0;
        const bool written = ReplaceFile(
            group[i].target, parts[i],
            [](std::span<const std::uint8_t> back) { return LooksLikeWholePdf(back); }, code);
        done.push_back({group[i].key, written ? SaveSucceeded() : SaveFailedWith(code, group[i].target)});
    }
    return true;
}

}  // namespace qm::word
