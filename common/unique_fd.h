#pragma once
// The owner of one file descriptor: closed when the owner goes, so no path out of a function
// leaks it. An empty owner (-1) closes nothing.

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace qm {

class UniqueFd {
  public:
    UniqueFd() noexcept = default;
    // Takes `fd` over; a negative value (a failed open) makes an empty owner.
    explicit UniqueFd(int fd) noexcept : fd_(fd < 0 ? -1 : fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    // Gives the descriptor up without closing it; the owner is empty afterwards.
    int release() noexcept { return std::exchange(fd_, -1); }

    // Closes the descriptor held, if any, ignoring the outcome, and takes `fd` over. errno is
    // kept as it was, so a caller may read the errno of the call that failed before.
    void reset(int fd = -1) noexcept {
        const int old = std::exchange(fd_, fd < 0 ? -1 : fd);
        if (old >= 0) {
            const int saved = errno;
            ::close(old);
            errno = saved;
        }
    }

    // Closes now, for callers that must know whether the data reached the file (a file
    // system may report a failed write only here). False with errno set when close() failed;
    // an empty owner gives true. The descriptor is released either way: Linux frees it even
    // when close() fails, so it is never closed twice.
    bool close() noexcept {
        const int old = std::exchange(fd_, -1);
        return old < 0 || ::close(old) == 0;
    }

  private:
    int fd_ = -1;
};

}  // namespace qm
