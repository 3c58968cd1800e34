#pragma once
// Puts what a run writes on disk while the run goes on: each pass runs on its own thread
// while the next documents are made, so the pass at the end has little left to write.

#include <atomic>
#include <string>
#include <thread>

namespace qm {

class DiskFlusher {
  public:
    // Files written into `folder`; a pass starts in the background once `every` files were
    // written since the last one started, and only when none is going.
    explicit DiskFlusher(std::string folder, int every = 64);
    ~DiskFlusher();  // waits for a pass that is going
    DiskFlusher(const DiskFlusher&) = delete;
    DiskFlusher& operator=(const DiskFlusher&) = delete;

    // One more file was written.
    void Written();
    // Waits for a pass that is going, then makes the last one. False with the errno in `error`
    // when any pass failed: written files may then not be on disk.
    bool Finish(int& error);

  private:
    void Wait();

    const std::string folder_;
    const int every_;
    int written_ = 0;  // files since the last pass started
    std::thread pass_;
    std::atomic<bool> going_{false};
    std::atomic<int> error_{0};  // the first failure of a background pass
};

}  // namespace qm
