#pragma once
// Waiting for something another process or the event loop does.

#include <functional>

namespace qm::test {

// Polls `condition` until it holds or `milliseconds` pass; the result of the last poll, so a
// condition that turns true at the deadline still counts. Between polls it sleeps 20 ms, or
// calls `pause(20)` when given one (the window tests run the Qt event loop there: see
// WaitForEvents in tests/support/gui/qt_wait.h).
bool WaitFor(const std::function<bool()>& condition, int milliseconds,
             const std::function<void(int milliseconds)>& pause = {});

}  // namespace qm::test
