#include "app/gui/opener.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/gui/qt_text.h"

namespace qm::gui {

namespace {

// xdg-open ends with an error where no program takes the target, but may take seconds to find
// that out (4 s is common on a bare desktop), and may stay until the program it started ends (a
// browser on a bare window manager). So it is given ten seconds: an error in that time is a
// failure; one still running then has started a program and counts as opened, and is left to
// itself (adopted by init, never a zombie of ours). $2 is that time in tenths of a second.
constexpr const char* kLaunch =
    "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
    "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n"
    "opener=$!\n"
    "i=0\n"
    "while [ $i -lt \"$2\" ]; do\n"
    "  if ! kill -0 $opener 2>/dev/null; then wait $opener; exit $?; fi\n"
    "  sleep 0.1\n"
    "  i=$((i + 1))\n"
    "done\n"
    "exit 0\n";

// The launcher's own limit beyond the patience, should the shell itself hang.
constexpr int kLauncherGraceMs = 5000;

}  // namespace

void DesktopOpener::open(std::string_view target, std::function<void(bool opened)> done) {
    if (target.empty()) {
        done(false);
        return;
    }
    auto* launcher = new QProcess;
    // Whatever ends first answers; the rest find the answer given.
    auto answer = std::make_shared<std::function<void(bool)>>(std::move(done));
    auto reply = [answer](bool opened) {
        if (!*answer) return;
        const auto call = std::move(*answer);
        *answer = nullptr;
        call(opened);
    };
    QObject::connect(launcher, &QProcess::finished, launcher,
                     [launcher, reply](int exitCode, QProcess::ExitStatus status) {
                         reply(status == QProcess::NormalExit && exitCode == 0);
                         launcher->deleteLater();
                     });
    QObject::connect(launcher, &QProcess::errorOccurred, launcher,
                     [launcher, reply](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         reply(false);
                         launcher->deleteLater();
                     });
    QTimer::singleShot(static_cast<int>(patience_.count()) + kLauncherGraceMs, launcher, [launcher, reply] {
        reply(true);  // the opener took its time but is working
        launcher->kill();
    });
    launcher->setProgram(QStringLiteral("/bin/sh"));
    launcher->setArguments({QStringLiteral("-c"), QString::fromLatin1(kLaunch), QStringLiteral("sh"),
                            ToQ(target), QString::number(std::max<long long>(1, patience_.count() / 100))});
    launcher->setStandardInputFile(QProcess::nullDevice());
    launcher->setStandardOutputFile(QProcess::nullDevice());
    launcher->setStandardErrorFile(QProcess::nullDevice());
    launcher->start();
}

}  // namespace qm::gui
