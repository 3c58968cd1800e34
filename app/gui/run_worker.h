#pragma once
// The thread the window's runs go on. It lives as long as the window, so that an office a run
// starts is tied to a thread that stays (the office ends with the thread that started it), and
// runs one job at a time while the window's own thread keeps answering the user.

#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

#include "merge/merge_run.h"

namespace qm::gui {

class RunWorker : public QObject {
    Q_OBJECT
  public:
    RunWorker();
    // Asks a run that still goes to stop and waits for it to end.
    ~RunWorker() override;
    RunWorker(const RunWorker&) = delete;
    RunWorker& operator=(const RunWorker&) = delete;

    // Runs `work` on the worker thread with an observer that reports to `progress` and stops
    // when stop() was called; then calls `done` with its outcome on this object's thread.
    void start(std::function<RunOutcome(RunObserver&)> work, std::function<void(const RunProgress&)> progress,
               std::function<void(const RunOutcome&)> done);
    // Runs `work` on the worker thread, after any run or task before it; then calls `done` on
    // this object's thread (not when the worker is going away).
    void startTask(std::function<void()> work, std::function<void()> done);
    bool busy() const { return busy_; }
    void stop() { stop_ = true; }
    bool stopping() const { return stop_; }
    // With lock-step on, the run waits after each progress report until `progress` has been
    // called for it: what the progress callback does (a test pressing stop, a screenshot) then
    // happens at a known document. Off, reports are merged while the window is busy.
    void setLockStep(bool on) { lockStep_ = on; }

  private:
    class Observer;
    void deliver();

    QThread thread_;
    QObject* context_ = nullptr;  // lives in thread_: the jobs are queued on it
    bool busy_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> lockStep_{false};
    std::function<void(const RunProgress&)> progress_;
    // The newest report not yet shown; a report is posted only when none waits.
    std::mutex latestMutex_;
    std::optional<RunProgress> latest_;
    QSemaphore shown_;
};

}  // namespace qm::gui
