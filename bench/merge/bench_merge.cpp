// Documents per second of a save run through RunMerge, next to the bare office cycle it is
// built on (create from the template, fill 8 bookmarks, save as .doc, close), measured in the
// same process with the same office.

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class SilentUi : public qm::RunUi {
  public:
    void showMessage(std::string_view, std::string_view, qm::MessageIcon) override {}
    bool askYesNo(std::string_view, std::string_view, qm::MessageIcon) override { return false; }
    void showProgress(int, int) override {}
    void setProgress(int) override {}
    void hideProgress() override {}
    void processEvents() override {}
    void openFolder(std::string_view) override {}
    void showMainWindow() override {}
    void hideMainWindow() override {}
};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The bare cycle for `count` documents into `folder`; false when a save failed.
bool BareCycle(qm::word::WordHost& host, const std::string& templatePath, const std::string& folder,
               int count) {
    for (int i = 1; i <= count; ++i) {
        if (host.OpenTemplate(templatePath).empty()) return false;
        for (int c = 1; c <= 8; ++c)
            host.SetBookmarkText("F" + qm::IntToText(c), "值" + qm::IntToText(i) + "-" + qm::IntToText(c));
        std::string file = folder + "Bare" + qm::IntToText(i) + ".doc";
        if (!host.SaveDocumentAs(file)) return false;
        host.CloseDocument(file);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::max(1, std::min(200, std::atoi(argv[1]))) : 200;
    std::string work = (fs::temp_directory_path() / "qm-bench-merge-XXXXXX").string();
    if (!mkdtemp(work.data())) return 1;
    const std::string script = std::string(QM_SOURCE_DIR) + "/tests/merge/make_merge_fixtures.py";
    if (std::system(("/usr/bin/python3 '" + script + "' '" + work + "'").c_str()) != 0) {
        std::fprintf(stderr, "bench_merge: could not write the fixtures\n");
        return 1;
    }
    int status = 0;
    {
        qm::word::WordHost host(qm::word::MakeLibreOffice(), "");
        // A real .doc template, made once by the office from the flat source.
        const std::string templatePath = work + "/bench.doc";
        host.OpenTemplate(work + "/bench.fodt");
        if (!host.SaveDocumentAs(templatePath)) {
            std::fprintf(stderr, "bench_merge: the office did not start\n");
            return 1;
        }
        std::string saved = templatePath;
        host.CloseDocument(saved);

        const std::string bareFolder = work + "/bare/", runFolder = work + "/run/";
        qm::MakeDirectory(bareFolder);
        qm::MakeDirectory(runFolder);
        BareCycle(host, templatePath, bareFolder, 5);  // warm the office up

        qm::ProgramState state;
        state.sheetConnection =
            qm::data::BuildConnectionString(qm::data::ExcelWorkbook, {}, work + "/bench.xls");
        state.outputFolder = runFolder;
        state.referenceName = "Run";
        host.OpenTemplate(templatePath);
        state.templateBookmarks = host.ListBookmarks();
        state.columnTitles = "F1\r\nF2\r\nF3\r\nF4\r\nF5\r\nF6\r\nF7\r\nF8";
        qm::MatchTitles(state);
        qm::RunRequest request;
        request.start = 1;
        request.end = rows;
        request.sheetName = "Sheet1$";
        request.templatePath = templatePath;
        SilentUi ui;

        // Two rounds, each cycle then run, so that neither side always has the warmer office.
        std::printf("documents per measurement: %d (8 bookmarks each, saved as .doc)\n", rows);
        double bareTotal = 0, runTotal = 0;
        for (int round = 1; round <= 2; ++round) {
            auto t0 = Clock::now();
            if (!BareCycle(host, templatePath, bareFolder, rows)) status = 1;
            const double bare = Seconds(t0);
            host.OpenTemplate(templatePath);
            t0 = Clock::now();
            const qm::RunOutcome outcome = qm::RunMerge(state, host, ui, request);
            const double run = Seconds(t0);
            if (outcome.documentsMade != rows) status = 1;
            bareTotal += bare;
            runTotal += run;
            std::printf(
                "round %d: bare office cycle %6.1f documents/s (%5.1f ms each); RunMerge %6.1f documents/s "
                "(%5.1f ms each)\n",
                round, rows / bare, 1000 * bare / rows, rows / run, 1000 * run / rows);
        }
        std::printf(
            "overall: bare office cycle %6.1f documents/s; save run through RunMerge %6.1f documents/s; "
            "engine overhead %+.1f %%\n",
            2 * rows / bareTotal, 2 * rows / runTotal, 100 * (runTotal - bareTotal) / bareTotal);
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    return status;
}
