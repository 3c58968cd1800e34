#include "app/gui/screenshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <cstdlib>

#include "app/gui/about_window.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/link_label.h"
#include "app/gui/main_window.h"
#include "app/gui/opener.h"
#include "app/gui/preview_window.h"
#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "merge/merge_run.h"

namespace qm::gui {

namespace {

// Nothing is opened while pictures are taken.
class NoOpener : public Opener {
  public:
    void open(std::string_view, std::function<void(bool)> done) override { done(true); }
};

QString ScratchFolder() {
    return QDir::tempPath() + QStringLiteral("/quillmerge-screenshot");
}

// Shows `widget` for a moment and saves its picture.
void Picture(QWidget& widget, const QString& path) {
    widget.show();
    QEventLoop wait;
    QTimer::singleShot(500, &wait, &QEventLoop::quit);
    wait.exec();
    widget.grab().save(path, "PNG");
}

class AnsweringDialogs : public GuiDialogs {
  public:
    // The closing message of a stopped run is pictured into `path`.
    void pictureStoppedRun(const QString& path) { stoppedRunPicture_ = path; }

    Answer message(std::string_view text, std::string_view caption, Buttons buttons,
                   MessageIcon icon) override {
        if (!stoppedRunPicture_.isEmpty() && text.starts_with("已停止")) {
            QMessageBox box;
            SetUpMessageBox(box, text, caption, buttons, icon);
            Picture(box, stoppedRunPicture_);
        }
        if (buttons == Buttons::Ok) return Answer::Ok;
        return caption == "文件名确认提示" ? Answer::Yes : Answer::No;
    }
    // The save dialog's file type is set to the one whose filter starts with `filter`.
    void chooseType(std::string filter) { type_ = std::move(filter); }
    std::string getSaveFileNameOfType(std::string_view title, std::string_view folder,
                                      std::string_view proposedName, const std::vector<std::string>& types,
                                      int& type) override {
        for (std::size_t i = 0; i < types.size() && !type_.empty(); ++i)
            if (types[i].starts_with(type_)) type = static_cast<int>(i);
        std::string name(proposedName);
        if (!type_.empty() && name.find('.') != std::string::npos)
            name = name.substr(0, name.rfind('.')) + ".pdf";
        return GuiDialogs::getSaveFileNameOfType(title, folder, name, types, type);
    }
    std::string getOpenFileName(std::string_view, std::string_view, std::string_view) override { return {}; }
    std::string getSaveFileName(std::string_view, std::string_view, std::string_view proposedName,
                                std::string_view) override {
        QDir().mkpath(ScratchFolder());
        return FromQ(ScratchFolder()) + "/" + std::string(proposedName);
    }

  private:
    QString stoppedRunPicture_;
    std::string type_;
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

// The sample workbook's staff sheet with the badge template `badge` (工作证.doc or .docx), in
// repeat mode when `repeat`.
void ChooseBadge(MainWindow& window, const QString& badge, bool repeat) {
    Choose(Find<QComboBox>(window, "文件选择组合框"), 0);
    if (auto* sheet = Find<QComboBox>(window, "工作表选择组合框"))
        Choose(sheet, sheet->findText(QStringLiteral("员工$")));
    if (auto* box = Find<QCheckBox>(window, "重复模式选择框"); repeat && box && !box->isChecked())
        box->click();
    if (auto* chooser = Find<QComboBox>(window, "模板选择组合框")) Choose(chooser, chooser->findText(badge));
}

// Previews the second row of the grid and pictures the preview window once its page is shown.
void SavePreviewOfRowTwo(MainWindow& window, const QString& path) {
    if (auto* grid = Find<QTableView>(window, "表格1")) grid->selectRow(1);
    if (auto* preview = Find<QPushButton>(window, "预览按钮")) preview->click();
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, path] {
        auto* shown = Find<PreviewWindow>(window, "预览窗口");
        auto* status = shown ? shown->findChild<QLabel*>(QStringLiteral("预览说明")) : nullptr;
        if (!status || status->text().startsWith(QStringLiteral("正在"))) return;
        poll->stop();
        Save(*shown, path);
    });
    poll->start(200);
}

}  // namespace

std::unique_ptr<GuiDialogs> MakeScreenshotDialogs() {
    const char* target = std::getenv("QM_SCREENSHOT");
    if (!target || !*target) return nullptr;
    auto dialogs = std::make_unique<AnsweringDialogs>();
    const char* scene = std::getenv("QM_SCREENSHOT_SCENE");
    if (scene && std::string_view(scene) == "stopped-run")
        dialogs->pictureStoppedRun(QString::fromLocal8Bit(target));
    if (scene && std::string_view(scene) == "pdf-run") dialogs->chooseType("PDF");
    return dialogs;
}

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
        if (scene == QLatin1String("file-dialog")) {
            // The dialog that opens a template, in the templates folder.
            auto* dialog = new QFileDialog(&window, QStringLiteral("打开Word模板文档"),
                                           QString::fromStdString(programFolder + "/模板/"),
                                           QStringLiteral("Word文档(*.doc *.docx)"));
            SetUpFileDialog(*dialog);
            dialog->setViewMode(QFileDialog::Detail);
            dialog->resize(720, 420);
            Picture(*dialog, path);
            QCoreApplication::exit(0);
            return;
        }
        if (scene == QLatin1String("filter")) {
            // The sample sheet filtered to one department: the rows keep their own numbers.
            Choose(Find<QComboBox>(window, "文件选择组合框"), 0);
            Choose(Find<QComboBox>(window, "工作表选择组合框"), 0);
            if (auto* column = Find<QComboBox>(window, "筛选列组合框"))
                Choose(column, column->findText(QStringLiteral("部门")));
            Choose(Find<QComboBox>(window, "筛选条件组合框"), 0);
            if (auto* value = Find<QLineEdit>(window, "筛选值编辑框"))
                value->setText(QStringLiteral("销售部"));
            if (auto* apply = Find<QPushButton>(window, "筛选按钮")) apply->click();
            QTimer::singleShot(300, &window, [&window, path] { Save(window, path); });
            return;
        }
        if (scene == QLatin1String("picture-column")) {
            // The badge template in repeat mode with the match line's menu open under the line,
            // its photo column marked; the menu is drawn into the window's picture where it shows.
            ChooseBadge(window, QStringLiteral("工作证.doc"), true);
            QMenu* menu = window.MakePictureColumnMenu();
            auto* line = Find<QLabel>(window, "书签匹配标签");
            if (!menu || !line) {
                Save(window, path);
                return;
            }
            if (auto* photo = menu->findChild<QAction*>(QStringLiteral("图片列:照片"));
                photo && !photo->isChecked())
                photo->trigger();
            const QPoint at = line->mapTo(&window, QPoint(0, line->height()));
            menu->popup(window.mapToGlobal(at));
            QTimer::singleShot(500, &window, [&window, menu, at, path] {
                QPixmap shot = window.grab();
                QPainter painter(&shot);
                painter.drawPixmap(at, menu->grab());
                painter.end();
                shot.save(path, "PNG");
                QCoreApplication::exit(0);
            });
            return;
        }
        if (scene == QLatin1String("preview")) {
            // The preview of the second sample row's contract, pictured once its page is shown.
            Choose(Find<QComboBox>(window, "文件选择组合框"), 0);
            Choose(Find<QComboBox>(window, "工作表选择组合框"), 0);
            Choose(Find<QComboBox>(window, "模板选择组合框"), 0);
            SavePreviewOfRowTwo(window, path);
            return;
        }
        if (scene == QLatin1String("mode-hint")) {
            // The badge template with its sheet, repeat mode not chosen: the match line says which
            // mode fills its bookmarks.
            ChooseBadge(window, QStringLiteral("工作证.docx"), false);
            if (auto* start = Find<RangeBox>(window, "范围起编辑框"))
                start->setBoxText(QStringLiteral("100000"));
            if (auto* end = Find<RangeBox>(window, "范围止编辑框")) end->setBoxText(QStringLiteral("200000"));
            QTimer::singleShot(300, &window, [&window, path] { Save(window, path); });
            return;
        }
        if (scene == QLatin1String("damaged-template")) {
            // A template whose zip is cut short, chosen with the sample sheet: the match line says
            // it did not open (the message about it is answered by the scene's dialogs).
            const QString damaged = QString::fromStdString(programFolder + "/模板/坏.docx");
            QFile out(damaged);
            if (out.open(QIODevice::WriteOnly)) out.write("PK\x03\x04 not a whole zip");
            out.close();
            Choose(Find<QComboBox>(window, "文件选择组合框"), 0);
            Choose(Find<QComboBox>(window, "工作表选择组合框"), 0);
            QTimer::singleShot(1500, &window, [&window, path, damaged] {
                if (auto* chooser = Find<QComboBox>(window, "模板选择组合框"))
                    Choose(chooser, chooser->findText(QStringLiteral("坏.docx")));
                QFile::remove(damaged);
                QTimer::singleShot(300, &window, [&window, path] { Save(window, path); });
            });
            return;
        }
        if (scene == QLatin1String("preview-missing-picture")) {
            // The badge of the second row, whose photo file is gone, previewed.
            ChooseBadge(window, QStringLiteral("工作证.docx"), true);
            if (QMenu* menu = window.MakePictureColumnMenu()) {
                if (auto* photo = menu->findChild<QAction*>(QStringLiteral("图片列:照片"));
                    photo && !photo->isChecked())
                    photo->trigger();
                delete menu;
            }
            QFile::remove(QString::fromStdString(programFolder + "/数据/照片/002.png"));
            SavePreviewOfRowTwo(window, path);
            return;
        }
        const bool turned = scene == QLatin1String("run-page-turned");
        const bool run = scene == QLatin1String("save-run") || scene == QLatin1String("stopped-run") ||
                         scene == QLatin1String("pdf-run") || turned;
        if (scene == QLatin1String("page2-range") || run) ShowPageTwo(window);
        if (run) {
            // A real save run of records 12 to 15 with the first template, pictured after its
            // second document (PDFs in "pdf-run"), or stopped there and its closing message
            // pictured; the documents go to a scratch folder that is removed afterwards.
            Choose(Find<QComboBox>(window, "模板选择组合框"), 0);
            const bool stop = scene == QLatin1String("stopped-run");
            window.setProgressObserver([&window, path, stop, turned](int position) {
                // "run-page-turned": the next page is asked for during the run, then pictured.
                if (turned && position == 1)
                    if (auto* next = Find<LinkLabel>(window, "下一页标签")) emit next->released();
                if (position != 2) return;
                if (!stop) {
                    window.grab().save(path, "PNG");
                } else if (auto* button = Find<QPushButton>(window, "停止按钮")) {
                    button->click();
                }
            });
            if (auto* save = Find<QPushButton>(window, "插入并保存按钮")) save->click();
            // The run goes on its own thread; the picture is taken while it goes.
            while (window.RunGoing()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            window.setProgressObserver({});
            QDir(ScratchFolder()).removeRecursively();
            QCoreApplication::exit(0);
            return;
        }
        QTimer::singleShot(300, &window, [&window, path] { Save(window, path); });
    });
    return true;
}

}  // namespace qm::gui
