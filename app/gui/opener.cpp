#include "app/gui/opener.h"

#include <QProcess>
#include <QStringList>

#include "app/gui/qt_text.h"

namespace qm::gui {

namespace {

// xdg-open ends at once with an error where no program takes the target, but may stay until
// the program it started ends (a browser on a bare window manager). So it is given two seconds:
// an error in that time is a failure, anything else counts as opened, and an opener still
// running is left to itself (adopted by init, never a zombie of ours).
constexpr const char* kLaunch =
    "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
    "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n"
    "opener=$!\n"
    "i=0\n"
    "while [ $i -lt 20 ]; do\n"
    "  if ! kill -0 $opener 2>/dev/null; then wait $opener; exit $?; fi\n"
    "  sleep 0.1\n"
    "  i=$((i + 1))\n"
    "done\n"
    "exit 0\n";

}  // namespace

bool DesktopOpener::open(std::string_view target) {
    if (target.empty()) return false;
    QProcess launcher;
    launcher.setProgram(QStringLiteral("/bin/sh"));
    launcher.setArguments(
        {QStringLiteral("-c"), QString::fromLatin1(kLaunch), QStringLiteral("sh"), ToQ(target)});
    launcher.setStandardInputFile(QProcess::nullDevice());
    launcher.setStandardOutputFile(QProcess::nullDevice());
    launcher.setStandardErrorFile(QProcess::nullDevice());
    launcher.start();
    if (!launcher.waitForStarted(5000)) return false;
    if (!launcher.waitForFinished(10000)) {
        launcher.kill();
        launcher.waitForFinished(1000);
        return true;  // the opener took its time but is working
    }
    return launcher.exitStatus() == QProcess::NormalExit && launcher.exitCode() == 0;
}

}  // namespace qm::gui
