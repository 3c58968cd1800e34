#include "tests/support/gui/qt_wait.h"

#include <QTest>

#include "tests/support/wait.h"

namespace qm::test {

bool WaitForEvents(const std::function<bool()>& condition, int milliseconds) {
    return WaitFor(condition, milliseconds, [](int step) { QTest::qWait(step); });
}

}  // namespace qm::test
