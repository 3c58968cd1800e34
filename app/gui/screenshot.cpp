#include "app/gui/screenshot.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QTimer>
#include <cstdlib>

#include "app/gui/about_window.h"
#include "app/gui/link_label.h"
#include "app/gui/main_window.h"
#include "app/gui/opener.h"
#include "app/gui/range_box.h"
#include "merge/merge_run.h"

namespace qm::gui {

namespace {

// Nothing is opened while pictures are taken.
class NoOpener : public Opener {
public:
    void open(std::string_view) override {}
};

void Choose(QComboBox* combo, int index) {
    if (!combo || index < 0 || index >= combo->count()) return;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

template <typename W>
W* Find(MainWindow& window, const char* name) {
    return window.findChild<W*>(QString::fromUtf8(name));
}

// The sample workbook's first sheet on page 2, with records 12 to 15 chosen.
void ShowPageTwo(MainWindow& window) {
    Choose(Find<QComboBox>(window, "文件选择组合框"), 0);
    Choose(Find<QComboBox>(window, "工作表选择组合框"), 0);
    if (auto* next = Find<LinkLabel>(window, "下一页标签")) emit next->released();
    if (auto* start = Find<RangeBox>(window, "范围起编辑框")) start->setBoxText(QStringLiteral("12"));
    if (auto* end = Find<RangeBox>(window, "范围止编辑框")) end->setBoxText(QStringLiteral("15"));
}

void Save(QWidget& widget, const QString& path) {
    widget.grab().save(path, "PNG");
    QCoreApplication::exit(0);
}

}  // namespace

bool ScheduleScreenshot(MainWindow& window, const std::string& programFolder) {
    const char* target = std::getenv("QM_SCREENSHOT");
    if (!target || !*target) return false;
    const char* sceneText = std::getenv("QM_SCREENSHOT_SCENE");
    const QString path = QString::fromLocal8Bit(target);
    const QString scene = sceneText ? QString::fromLatin1(sceneText) : QStringLiteral("main-window");

    QTimer::singleShot(300, &window, [&window, path, scene, programFolder] {
        if (scene == QLatin1String("about")) {
            static NoOpener opener;
            auto* about = new AboutWindow(opener, programFolder, &window);
            about->setAttribute(Qt::WA_DeleteOnClose);
            about->show();
            QTimer::singleShot(300, about, [about, path] { Save(*about, path); });
            return;
        }
        if (scene == QLatin1String("page2-range") || scene == QLatin1String("save-run")) ShowPageTwo(window);
        if (scene == QLatin1String("save-run")) {
            // The progress bar as a save run of four documents shows it after the second.
            window.runUi().showProgress(0, 4);
            window.runUi().setProgress(2);
        }
        QTimer::singleShot(300, &window, [&window, path] { Save(window, path); });
    });
    return true;
}

}  // namespace qm::gui
