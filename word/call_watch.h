#pragma once
// A time limit on calls that may never return: a call to an office process that stopped
// answering blocks for ever, and only ending that process releases it. The watch runs one
// thread of its own; while a call is armed it wakes at the call's deadline and, if the call is
// still going, runs what the caller gave it to end the process. It also samples, a few times a
// second, whatever the caller wants to know of the process while the call goes on (its memory).

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace qm::word {

class CallWatch {
  public:
    CallWatch() = default;
    ~CallWatch();
    CallWatch(const CallWatch&) = delete;
    CallWatch& operator=(const CallWatch&) = delete;

    // Disarms when it goes.
    class Armed {
      public:
        explicit Armed(CallWatch* watch) : watch_(watch) {}
        ~Armed() {
            if (watch_) watch_->Disarm();
        }
        Armed(Armed&& other) noexcept : watch_(other.watch_) { other.watch_ = nullptr; }
        Armed(const Armed&) = delete;
        Armed& operator=(const Armed&) = delete;
        Armed& operator=(Armed&&) = delete;

      private:
        CallWatch* watch_;
    };

    // Until the result goes, `late` runs on the watch's thread once `limit` has passed, and
    // `sample` every `every` meanwhile (either may be empty). One call at a time: arming within an
    // armed call changes nothing, the outer limit holds. Falls back to no limit when no thread
    // can be started.
    [[nodiscard]] Armed Arm(std::chrono::milliseconds limit, std::function<void()> late,
                            std::function<void()> sample = {},
                            std::chrono::milliseconds every = std::chrono::milliseconds(250));
    // True when the call armed last ran past its limit.
    bool wasLate() const;

  private:
    void Disarm();
    void Watch();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    bool armed_ = false;
    bool late_ = false;
    bool ending_ = false;
    bool endingLate_ = false;  // a late call's end runs
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::milliseconds every_{250};
    std::function<void()> onLate_;
    std::function<void()> sample_;
};

}  // namespace qm::word
