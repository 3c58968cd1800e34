#include "common/disk_flusher.h"

#include <utility>

#include "common/fs.h"

namespace qm {

DiskFlusher::DiskFlusher(std::string folder, int every) : folder_(std::move(folder)), every_(every) {}

DiskFlusher::~DiskFlusher() {
    Wait();
}

void DiskFlusher::Wait() {
    if (pass_.joinable()) pass_.join();
}

void DiskFlusher::Written() {
    if (++written_ < every_ || going_.load()) return;
    Wait();
    written_ = 0;
    going_.store(true);
    pass_ = std::thread([this] {
        int error = 0;
        if (!FlushToDisk(folder_, error)) {
            int none = 0;
            error_.compare_exchange_strong(none, error);
        }
        going_.store(false);
    });
}

bool DiskFlusher::Finish(int& error) {
    Wait();
    error = error_.load();
    int last = 0;
    if (!FlushToDisk(folder_, last) && error == 0) error = last;
    return error == 0;
}

}  // namespace qm
