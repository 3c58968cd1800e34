// Times page changes in the main window over a 65,535-record workbook: page 1, a middle page
// and the last page at 10 and 200 records per page, with the workbook already parsed. Each
// figure includes repainting the grid.

#include <QApplication>
#include <QComboBox>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/opener.h"
#include "app/gui/program.h"
#include "tests/support/fake_office.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

class SilentDialogs : public qm::gui::GuiDialogs {
  public:
    qm::gui::Answer message(std::string_view, std::string_view, qm::gui::Buttons, qm::MessageIcon) override {
        return qm::gui::Answer::No;
    }
    std::string getOpenFileName(std::string_view, std::string_view, std::string_view) override { return {}; }
    std::string getSaveFileName(std::string_view, std::string_view, std::string_view,
                                std::string_view) override {
        return {};
    }
};

class NoOpener : public qm::gui::Opener {
  public:
    void open(std::string_view, std::function<void(bool)> done) override { done(true); }
};

void Choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::string workbook =
        argc > 1 ? argv[1] : std::string(QM_BINARY_DIR) + "/bench/records-65535x20.xls";
    if (!fs::exists(workbook)) {
        std::printf("writing %s with xlwt ...\n", workbook.c_str());
        fs::create_directories(fs::path(workbook).parent_path());
        const std::string command =
            "/usr/bin/python3 '" QM_SOURCE_DIR "/bench/xls/make_big_workbook.py' '" + workbook + "'";
        if (std::system(command.c_str()) != 0 || !fs::exists(workbook)) {
            std::fprintf(stderr, "no workbook at %s\n", workbook.c_str());
            return 1;
        }
    }

    // A program folder of its own with the workbook as its only data file.
    std::string folder = (fs::temp_directory_path() / "qm_bench_gui_XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    fs::copy_file(QM_PROGRAM_DIR "/Quillmerge.mdb", folder + "/Quillmerge.mdb");
    fs::create_directory(folder + "/数据");
    fs::create_directory(folder + "/模板");
    fs::create_symlink(fs::absolute(workbook), folder + "/数据/records.xls");

    int status = 0;
    {
        qm::gui::ProgramObjects objects =
            qm::gui::MakeProgramObjects(folder, std::make_unique<qm::test::FakeOffice>());
        SilentDialogs dialogs;
        NoOpener opener;
        qm::gui::MainWindow window(qm::gui::WindowContext{*objects.state, *objects.host, *objects.settings,
                                                          dialogs, opener, folder});
        window.show();
        QCoreApplication::processEvents();
        auto* workbooks = window.findChild<QComboBox*>(QStringLiteral("文件选择组合框"));
        auto* sheets = window.findChild<QComboBox*>(QStringLiteral("工作表选择组合框"));
        auto* sizes = window.findChild<QComboBox*>(QStringLiteral("每页记录数组合框"));
        auto* pages = window.findChild<QComboBox*>(QStringLiteral("页组合框"));

        auto t = Clock::now();
        Choose(workbooks, 0);
        std::printf("workbook chosen, sheets listed (parse): %8.1f ms\n", Ms(t));
        t = Clock::now();
        Choose(sheets, 0);
        window.grid()->viewport()->repaint();
        std::printf("sheet chosen, page 1 shown:             %8.1f ms (records: %d)\n", Ms(t),
                    objects.state->recordCount);
        if (objects.state->recordCount == 0) status = 1;

        for (int sizeIndex : {0, 4}) {
            Choose(sizes, sizeIndex);
            const int count = pages->count();
            struct Target {
                const char* name;
                int index;
            };
            const Target targets[] = {{"page 1", 0}, {"middle page", count / 2}, {"last page", count - 1}};
            for (const Target& target : targets) {
                std::vector<double> times;
                for (int i = 0; i < 7; ++i) {
                    // Away and back, so every figure is a real change of page.
                    Choose(pages, target.index == 0 ? std::min(1, count - 1) : 0);
                    t = Clock::now();
                    Choose(pages, target.index);
                    window.grid()->viewport()->repaint();
                    times.push_back(Ms(t));
                }
                std::sort(times.begin(), times.end());
                std::printf("%3s per page, %-11s (%5d of %5d): median %7.2f ms, best %7.2f ms\n",
                            sizes->currentText().toUtf8().constData(), target.name, target.index + 1, count,
                            times[times.size() / 2], times.front());
            }
        }
        qm::gui::ProgramEndCleanup(objects);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}
