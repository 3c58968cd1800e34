// Documents per second of the merge cycle: a fresh working document from a one-page template
// with 8 bookmarks, all 8 filled, saved as .doc, closed. The office start-up is timed apart.
// Then the preview of a row of the shipped samples with the office warm: its document made,
// turned into a PDF and pictured, as the window's preview button does.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/text.h"
#include "data/workbook_cache.h"
#include "merge/preview.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

int main(int argc, char** argv) {
    const int documents = argc > 1 ? std::atoi(argv[1]) : 200;
    const fs::path work = fs::temp_directory_path() / ("quillmerge-bench-" + std::to_string(getpid()));
    fs::create_directories(work / "out");

    // The template comes from its readable source, converted by a private office instance.
    const std::string source = QM_SOURCE_DIR "/tests/word/templates/letter.fodt";
    const std::string convert = "soffice -env:UserInstallation=file://" + (work / "profile").string() +
                                " --headless --convert-to doc --outdir '" + work.string() + "' '" + source +
                                "' >/dev/null 2>&1";
    if (std::system(convert.c_str()) != 0 || !fs::exists(work / "letter.doc")) {
        std::fprintf(stderr, "could not convert %s\n", source.c_str());
        return 1;
    }
    const std::string templatePath = (work / "letter.doc").string();
    const std::vector<std::string> names = {"姓名", "地址", "电话", "Code", "Amount", "日期", "备注", "Note"};

    double startup = 0;
    double elapsed = 0;
    {
        qm::word::WordHost host(qm::word::MakeLibreOffice(), "");
        auto t0 = Clock::now();
        host.OpenTemplate(templatePath, qm::word::Route::Office);
        startup = Seconds(Clock::now() - t0);
        if (qm::SplitList(host.ListBookmarks()).size() != names.size()) {
            std::fprintf(stderr, "template bookmarks not found\n");
            return 1;
        }
        t0 = Clock::now();
        int saved = 0;
        double fill = 0, save = 0, close = 0, open = 0;
        for (int n = 1; n <= documents; ++n) {
            auto p = Clock::now();
            for (const std::string& name : names)
                host.SetBookmarkText(name, name + " 值 " + std::to_string(n));
            fill += Seconds(Clock::now() - p);
            p = Clock::now();
            std::string file = (work / "out" / ("doc" + std::to_string(n) + ".doc")).string();
            if (host.SaveDocumentAs(file)) ++saved;
            save += Seconds(Clock::now() - p);
            p = Clock::now();
            host.CloseDocument();
            close += Seconds(Clock::now() - p);
            p = Clock::now();
            host.OpenTemplate(templatePath, qm::word::Route::Office);
            open += Seconds(Clock::now() - p);
        }
        std::printf("per document: fill %.1f ms, save %.1f ms, close %.1f ms, open %.1f ms\n",
                    1000 * fill / documents, 1000 * save / documents, 1000 * close / documents,
                    1000 * open / documents);
        elapsed = Seconds(Clock::now() - t0);
        if (saved != documents) std::fprintf(stderr, "only %d of %d documents saved\n", saved, documents);
    }
    // Previews of the first rows of the sample contract, the office warmed by the first.
    {
        qm::word::WordHost host(qm::word::MakeLibreOffice(), QM_PROGRAM_DIR);
        qm::data::WorkbookCache workbooks;
        qm::RunChoice choice;
        choice.workbookPath = QM_PROGRAM_DIR "/数据/员工信息.xls";
        choice.table = "员工$";
        choice.templatePath = QM_PROGRAM_DIR "/模板/劳动合同.doc";
        const int rows = 8;
        double first = 0, total = 0, slowest = 0;
        for (int row = 1; row <= rows + 1; ++row) {
            const auto t0 = Clock::now();
            const qm::Preview preview =
                qm::MakePreview(qm::PlanPreview(choice, row, workbooks, host,
                                                (work / ("preview" + std::to_string(row))).string()),
                                host);
            const double took = Seconds(Clock::now() - t0);
            if (preview.pages.empty()) {
                std::fprintf(stderr, "the preview of row %d has no pages\n", row);
                return 1;
            }
            if (row == 1) {
                first = took;
                continue;
            }
            total += took;
            slowest = std::max(slowest, took);
        }
        std::printf(
            "preview of a row: first (office starting) %.2f s; then %.0f ms on average, %.0f ms at most\n",
            first, 1000 * total / rows, 1000 * slowest);
    }
    std::printf("office start-up + first document: %.2f s\n", startup);
    std::printf("%d documents in %.2f s: %.1f documents per second (%.1f ms each)\n", documents, elapsed,
                documents / elapsed, 1000.0 * elapsed / documents);
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
