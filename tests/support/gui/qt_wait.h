#pragma once
// The wait of the window tests: Qt's event loop keeps running while they wait, so timers,
// queued signals and closing windows get their turn.

#include <functional>

namespace qm::test {

// WaitFor (tests/support/wait.h) that processes Qt events between polls. Needs a running
// QApplication.
bool WaitForEvents(const std::function<bool()>& condition, int milliseconds);

}  // namespace qm::test
