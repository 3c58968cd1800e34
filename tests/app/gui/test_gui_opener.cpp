// The desktop opener, with stand-in xdg-open programs: slow failures are failures, the window's
// event loop keeps running while it waits, and a program still running at the end of the
// patience counts as opened.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <optional>

#include "app/gui/opener.h"
#include "tests/support/temp_folder.h"

namespace qm::test {
namespace {

// Puts an xdg-open running `body` first on PATH for as long as it lives.
class StandInOpener {
  public:
    explicit StandInOpener(const std::string& body) : oldPath_(qgetenv("PATH")) {
        const std::string program = folder_ / "xdg-open";
        std::ofstream(program) << "#!/bin/sh\n" << body << "\n";
        chmod(program.c_str(), 0755);
        qputenv("PATH", QByteArray::fromStdString(folder_.path()) + ":" + oldPath_);
    }
    ~StandInOpener() { qputenv("PATH", oldPath_); }
    StandInOpener(const StandInOpener&) = delete;
    StandInOpener& operator=(const StandInOpener&) = delete;
    std::string folder() const { return folder_.path(); }

  private:
    TempFolder folder_{"opener"};
    QByteArray oldPath_;
};

struct Answer {
    std::optional<bool> opened;
    int ticksWhileWaiting = 0;
    qint64 ms = 0;
};

Answer OpenAndWait(gui::DesktopOpener& opener, const std::string& target) {
    Answer answer;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++answer.ticksWhileWaiting; });
    ticker.start(100);
    QElapsedTimer clock;
    clock.start();
    int calls = 0;
    opener.open(target, [&](bool opened) {
        ++calls;
        answer.opened = opened;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.opened.has_value(); }, 30000));
    answer.ms = clock.elapsed();
    QTest::qWait(300);
    EXPECT_EQ(calls, 1);
    return answer;
}

TEST(DesktopOpenerTest, SlowFailureIsAFailureAndTheWindowKeepsRunningMeanwhile) {
    StandInOpener standIn("sleep 3; exit 4");
    gui::DesktopOpener opener;
    const Answer answer = OpenAndWait(opener, standIn.folder());
    ASSERT_TRUE(answer.opened.has_value());
    EXPECT_FALSE(*answer.opened);
    EXPECT_GE(answer.ms, 2500);
    // The event loop ran while the opener decided: about 30 ticks of 100 ms.
    EXPECT_GE(answer.ticksWhileWaiting, 10);
}

TEST(DesktopOpenerTest, OpenerStillRunningAtTheEndOfThePatienceCountsAsOpened) {
    StandInOpener standIn("sleep 30");
    gui::DesktopOpener opener(std::chrono::milliseconds(1500));
    const Answer answer = OpenAndWait(opener, standIn.folder());
    ASSERT_TRUE(answer.opened.has_value());
    EXPECT_TRUE(*answer.opened);
    EXPECT_LT(answer.ms, 15000);
}

TEST(DesktopOpenerTest, QuickSuccessAndNothingToOpen) {
    StandInOpener standIn("exit 0");
    gui::DesktopOpener opener;
    Answer answer = OpenAndWait(opener, standIn.folder());
    ASSERT_TRUE(answer.opened.has_value());
    EXPECT_TRUE(*answer.opened);
    EXPECT_LT(answer.ms, 5000);

    answer = OpenAndWait(opener, "");
    ASSERT_TRUE(answer.opened.has_value());
    EXPECT_FALSE(*answer.opened);
}

}  // namespace
}  // namespace qm::test
