#include "word/call_watch.h"

#include <algorithm>
#include <utility>

namespace qm::word {

CallWatch::~CallWatch() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

CallWatch::Armed CallWatch::Arm(std::chrono::milliseconds limit, std::function<void()> late,
                                std::function<void()> sample, std::chrono::milliseconds every) {
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { Watch(); });
            } catch (...) {
                return Armed(nullptr);
            }
        }
        // A call within an armed one is covered by the outer call's limit.
        if (armed_) return Armed(nullptr);
        armed_ = true;
        late_ = false;
        deadline_ = std::chrono::steady_clock::now() + limit;
        every_ = std::max(every, std::chrono::milliseconds(1));
        onLate_ = std::move(late);
        sample_ = std::move(sample);
    }
    changed_.notify_all();
    return Armed(this);
}

bool CallWatch::wasLate() const {
    std::lock_guard lock(mutex_);
    return late_;
}

void CallWatch::Disarm() {
    std::unique_lock lock(mutex_);
    // A late call's end that has begun is waited for: the caller may collect the process next,
    // and its number must not be used after that.
    changed_.wait(lock, [&] { return !endingLate_; });
    armed_ = false;
    onLate_ = nullptr;
    sample_ = nullptr;
    changed_.notify_all();
}

void CallWatch::Watch() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        if (!armed_) {
            changed_.wait(lock, [&] { return ending_ || armed_; });
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline_) {
            // Run outside the lock: ending a process can take a moment, and the call it
            // releases disarms at once.
            std::function<void()> late = std::move(onLate_);
            armed_ = false;
            late_ = true;
            sample_ = nullptr;
            endingLate_ = true;
            lock.unlock();
            if (late) late();
            lock.lock();
            endingLate_ = false;
            changed_.notify_all();
            continue;
        }
        if (sample_) {
            const std::function<void()> sample = sample_;
            lock.unlock();
            sample();
            lock.lock();
            if (!armed_) continue;
        }
        const auto wake = std::min(deadline_, std::chrono::steady_clock::now() + every_);
        changed_.wait_until(lock, wake);
    }
}

}  // namespace qm::word
