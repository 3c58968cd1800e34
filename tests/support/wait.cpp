#include "tests/support/wait.h"

#include <chrono>
#include <thread>

namespace qm::test {

bool WaitFor(const std::function<bool()>& condition, int milliseconds,
             const std::function<void(int milliseconds)>& pause) {
    constexpr int kStep = 20;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        if (pause)
            pause(kStep);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(kStep));
    }
    return true;
}

}  // namespace qm::test
