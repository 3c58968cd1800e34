#include "app/gui/run_worker.h"

#include <QMetaObject>
#include <QPointer>
#include <chrono>

namespace qm::gui {

class RunWorker::Observer : public RunObserver {
  public:
    explicit Observer(RunWorker& worker) : worker_(worker) {}

    void progress(const RunProgress& now) override {
        bool post = false;
        {
            const std::lock_guard<std::mutex> lock(worker_.latestMutex_);
            post = !worker_.latest_.has_value();
            worker_.latest_ = now;
        }
        if (post)
            QMetaObject::invokeMethod(
                &worker_, [w = &worker_] { w->deliver(); }, Qt::QueuedConnection);
        if (!worker_.lockStep_) return;
        // Never waits on a window that is going away.
        while (!worker_.shown_.tryAcquire(1, 50))
            if (worker_.closing_) return;
    }
    bool stopRequested() override { return worker_.stop_; }

  private:
    RunWorker& worker_;
};

RunWorker::RunWorker() {
    thread_.setObjectName(QStringLiteral("runs"));
    context_ = new QObject();
    context_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_.start();
}

RunWorker::~RunWorker() {
    closing_ = true;
    stop_ = true;
    thread_.quit();
    thread_.wait();
}

void RunWorker::start(std::function<RunOutcome(RunObserver&)> work,
                      std::function<void(const RunProgress&)> progress,
                      std::function<void(const RunOutcome&)> done) {
    busy_ = true;
    stop_ = false;
    progress_ = std::move(progress);
    while (shown_.tryAcquire()) {
    }
    QPointer<RunWorker> self(this);
    QMetaObject::invokeMethod(
        context_,
        [this, self, work = std::move(work), done = std::move(done)] {
            RunOutcome outcome;
            try {
                Observer observer(*this);
                outcome = work(observer);
            } catch (...) {
                // The run catches its own failures; nothing may leave the thread.
            }
            if (closing_) return;
            QMetaObject::invokeMethod(
                this,
                [this, self, outcome = std::move(outcome), done] {
                    if (!self) return;
                    deliver();  // the last report before the end
                    busy_ = false;
                    done(outcome);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void RunWorker::startTask(std::function<void()> work, std::function<void()> done) {
    QPointer<RunWorker> self(this);
    QMetaObject::invokeMethod(
        context_,
        [this, self, work = std::move(work), done = std::move(done)] {
            try {
                work();
            } catch (...) {
                // Nothing may leave the thread.
            }
            if (closing_) return;
            QMetaObject::invokeMethod(
                this,
                [self, done] {
                    if (self) done();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void RunWorker::deliver() {
    std::optional<RunProgress> now;
    {
        const std::lock_guard<std::mutex> lock(latestMutex_);
        now.swap(latest_);
    }
    if (!now) return;
    if (progress_) progress_(*now);
    if (lockStep_) shown_.release();
}

}  // namespace qm::gui
