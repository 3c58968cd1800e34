// How the window answers while a long run goes: a save run of N rows (2,000 by default) of the
// shipped staff sheet, repeated, into PDF files through the office, started from the window as a
// user starts it. A timer asks for the window's attention every 10 ms; the bench prints the
// longest wait between two of its ticks (what a click or a repaint would wait), how often the
// progress bar changed and what it said halfway, and the documents made per second.
//
//   bench_gui_run [rows] [format]     (format: pdf, the default, or doc)

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/opener.h"
#include "app/gui/program.h"
#include "merge/program_state.h"
#include "word/libreoffice.h"

namespace fs = std::filesystem;

namespace {

// Answers as a user who wants the run: the file type asked for, numbered names, yes to the
// confirmation, no to opening the folder.
class RunDialogs : public qm::gui::GuiDialogs {
  public:
    RunDialogs(std::string target, int type) : target_(std::move(target)), type_(type) {}
    qm::gui::Answer message(std::string_view text, std::string_view, qm::gui::Buttons buttons,
                            qm::MessageIcon) override {
        if (buttons == qm::gui::Buttons::Ok)
            std::printf("message: %.*s\n", static_cast<int>(text.size()), text.data());
        // The confirmation is a question; the closing one asks to open the folder.
        const bool closing = text.find("文件夹？") != std::string_view::npos;
        return closing ? qm::gui::Answer::No : qm::gui::Answer::Yes;
    }
    std::string getOpenFileName(std::string_view, std::string_view, std::string_view) override { return {}; }
    std::string getSaveFileName(std::string_view, std::string_view, std::string_view,
                                std::string_view) override {
        return target_;
    }
    std::string getSaveFileNameOfType(std::string_view, std::string_view, std::string_view,
                                      const std::vector<std::string>&, int& type) override {
        type = type_;
        return target_;
    }
    int chooseItem(std::string_view, std::string_view, const std::vector<std::string>&, int) override {
        return 0;
    }

  private:
    std::string target_;
    int type_;
};

class NoOpener : public qm::gui::Opener {
  public:
    void open(std::string_view, std::function<void(bool)> done) override { done(true); }
};

bool Choose(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text);
    if (index < 0) {
        std::fprintf(stderr, "bench_gui_run: no item %s in %s\n", text.toUtf8().constData(),
                     combo->objectName().toUtf8().constData());
        return false;
    }
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const std::string format = argc > 2 ? argv[2] : "pdf";

    std::string folder = (fs::temp_directory_path() / "qm_bench_gui_run_XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    fs::copy_file(QM_PROGRAM_DIR "/Quillmerge.mdb", folder + "/Quillmerge.mdb");
    fs::create_directories(folder + "/数据");
    fs::create_directories(folder + "/模板");
    fs::create_directories(folder + "/用户文档");
    fs::copy_file(QM_PROGRAM_DIR "/模板/劳动合同.doc", folder + "/模板/劳动合同.doc");
    // The staff sheet's rows, repeated to `rows` records.
    const std::string script =
        "import sys, xlrd, xlwt\n"
        "src = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
        "book = xlwt.Workbook(encoding='utf-8'); out = book.add_sheet(src.name)\n"
        "for c in range(src.ncols): out.write(0, c, src.cell_value(0, c))\n"
        "for r in range(int(sys.argv[3])):\n"
        "    for c in range(src.ncols): out.write(r + 1, c, src.cell_value(1 + r % (src.nrows - 1), c))\n"
        "book.save(sys.argv[2])\n";
    const std::string scriptPath = folder + "/make.py";
    if (FILE* f = std::fopen(scriptPath.c_str(), "w")) {
        std::fputs(script.c_str(), f);
        std::fclose(f);
    }
    const std::string command = "/usr/bin/python3 '" + scriptPath +
                                "' '" QM_PROGRAM_DIR "/数据/员工信息.xls' '" + folder + "/数据/员工.xls' " +
                                std::to_string(rows);
    if (std::system(command.c_str()) != 0) return 1;

    int status = 0;
    {
        qm::gui::ProgramObjects objects = qm::gui::MakeProgramObjects(folder, qm::word::MakeLibreOffice());
        const std::string out = folder + "/用户文档/劳动合同/证." + format;
        RunDialogs dialogs(out, format == "pdf" ? 2 : 0);
        NoOpener opener;
        qm::gui::MainWindow window(qm::gui::WindowContext{*objects.state, *objects.host, *objects.settings,
                                                          dialogs, opener, folder});
        window.show();
        QCoreApplication::processEvents();
        if (!Choose(window.findChild<QComboBox*>(QStringLiteral("文件选择组合框")),
                    QStringLiteral("员工.xls")) ||
            !Choose(window.findChild<QComboBox*>(QStringLiteral("工作表选择组合框")),
                    QStringLiteral("员工$")) ||
            !Choose(window.findChild<QComboBox*>(QStringLiteral("模板选择组合框")),
                    QStringLiteral("劳动合同.doc")) ||
            !Choose(window.findChild<QComboBox*>(QStringLiteral("选择方式组合框")), QStringLiteral("全部")))
            return 1;
        auto* bar = window.findChild<QProgressBar*>(QStringLiteral("进度条1"));

        QElapsedTimer sinceTick, clock;
        qint64 longestWait = 0;
        int ticks = 0, barChanges = 0;
        QString lastFormat, halfway;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!window.RunGoing()) return;
            if (ticks++ > 0) longestWait = std::max(longestWait, sinceTick.elapsed());
            sinceTick.start();
            if (bar->format() != lastFormat) {
                lastFormat = bar->format();
                ++barChanges;
                if (halfway.isEmpty() && bar->value() * 2 >= bar->maximum() && bar->maximum() > 1)
                    halfway = lastFormat;
            }
        });
        timer.start();
        clock.start();
        QMetaObject::invokeMethod(
            &window, [&window] { window.RequestSaveRun(); }, Qt::QueuedConnection);
        // Until the run has started and ended.
        QCoreApplication::processEvents();
        if (!window.RunGoing()) {
            std::fprintf(stderr, "bench_gui_run: the run did not start\n");
            return 1;
        }
        while (window.RunGoing()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double seconds = clock.elapsed() / 1000.0;
        int made = 0;
        for (const auto& entry : fs::directory_iterator(folder + "/用户文档/劳动合同"))
            if (entry.path().extension() == "." + format) ++made;
        std::printf("%d rows to %s through the window: %d files in %.2f s (%.1f documents/s)\n", rows,
                    format.c_str(), made, seconds, made / std::max(seconds, 0.001));
        std::printf("longest wait for the window's thread during the run: %lld ms (%d ticks of 10 ms)\n",
                    static_cast<long long>(longestWait), ticks);
        std::printf("progress bar changed %d times; halfway it read: %s\n", barChanges,
                    halfway.toUtf8().constData());
        if (made != rows) status = 1;
        qm::gui::ProgramEndCleanup(objects);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}
