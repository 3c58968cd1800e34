// PDF runs of the shipped one-page badge (模板/工作证.docx, repeat mode) over made-up rows, through
// the run the window and the batch command use, each way in the same process:
//
//   one by one       one office, each document loaded and exported by itself (the earlier path)
//   joined, 1 office documents joined in groups, exported once and split
//   joined, N        the same on N office processes side by side (N: the processor cores)
//   one PDF of all   the last way, the documents then joined into one file
//
// Every way starts with its offices already running (a run of a few rows first), and prints
// documents a second, the ratio to the first way, and how long the first PDF took to appear.
//
//   bench_pdf [rows] [offices]      defaults: 1000 rows, one office per core
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "data/connection.h"
#include "data/workbook_cache.h"
#include "merge/merge_run.h"
#include "merge/run_plan.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Notes when the first document was finished.
class FirstDocument : public qm::RunObserver {
  public:
    void progress(const qm::RunProgress& now) override {
        if (now.done >= 1 && !first) first = Clock::now();
    }
    std::optional<Clock::time_point> first;
};

struct Figures {
    int made = 0;
    double seconds = 0;
    double first = 0;  // seconds to the first PDF
};

// One PDF run of rows 1..rows into `folder`.
Figures Run(qm::data::WorkbookCache& workbooks, qm::word::WordHost& host, const std::string& book,
            const std::string& folder, int rows, bool singleFile) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    qm::RunPlanner planner(workbooks, host);
    qm::RunChoice choice;
    choice.workbookPath = book;
    const std::vector<std::string> tables = qm::data::SheetTables(book, &workbooks);
    choice.table = tables.empty() ? std::string() : tables.front();
    choice.templatePath = QM_PROGRAM_DIR "/模板/工作证.docx";
    choice.repeatMode = true;
    if (planner.Open(choice) || planner.CheckMatching() || planner.SetRows(1, rows)) {
        std::fprintf(stderr, "bench_pdf: the run could not be planned\n");
        std::exit(1);
    }
    qm::RunOutput output;
    output.folder = folder + "/";
    output.referenceName = "证";
    output.extension = ".pdf";
    output.singleFile = singleFile;
    FirstDocument observer;
    const auto start = Clock::now();
    qm::MergeRun run(planner.TakeJob(output), host, observer);
    const qm::RunOutcome outcome = run.Execute();
    Figures f;
    f.seconds = Seconds(Clock::now() - start);
    f.made = outcome.documentsMade;
    f.first = observer.first ? Seconds(*observer.first - start) : 0;
    if (outcome.failed()) std::fprintf(stderr, "bench_pdf: the run failed (%d made)\n", f.made);
    if (!outcome.convertedSeparately.empty())
        std::fprintf(stderr, "bench_pdf: one by one: %s\n", outcome.convertedSeparately.c_str());
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int offices = argc > 2 ? std::atoi(argv[2]) : qm::word::DefaultOfficeWorkers();
    const fs::path work = fs::temp_directory_path() / ("quillmerge-bench-pdf-" + std::to_string(getpid()));
    fs::create_directories(work);
    const std::string book = (work / "rows.csv").string();
    {
        const char* names[] = {"林晓峰", "陈雅婷", "王建国", "赵晨光",
                               "刘志强", "张美玲", "孙浩然", "周文静"};
        const char* departments[] = {"总经理办公室", "财务部", "人力资源部", "销售部", "技术部"};
        std::ofstream csv(book);
        csv << "编号,姓名,部门\n";
        for (int i = 0; i < rows; ++i)
            csv << 1000 + i << ',' << names[i % 8] << ',' << departments[i % 5] << '\n';
    }

    qm::data::WorkbookCache workbooks;
    qm::word::WordHost host(qm::word::MakeLibreOffice(), QM_PROGRAM_DIR);
    host.SetMoreOffices(qm::word::MakeLibreOffice, offices);
    qm::word::OfficeConverter& converter = *host.Converter();

    struct Way {
        const char* name;
        int workers;
        bool join;
        bool single;
    };
    const Way ways[] = {{"one by one, 1 office", 1, false, false},
                        {"joined, 1 office", 1, true, false},
                        {"joined, all offices", offices, true, false},
                        {"one PDF of all", offices, true, true}};
    std::printf("%d rows of the one-page badge as PDFs; %d office processes at most\n", rows, offices);
    double baseline = 0;
    for (const Way& way : ways) {
        converter.SetWorkers(way.workers);
        converter.SetJoining(way.join);
        converter.StartOffices();
        for (int wait = 0; wait < 1200 && converter.officesRunning() < way.workers - 1; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Offices started and warm before the clock runs.
        Run(workbooks, host, book, (work / "warm").string(), 4 * way.workers, false);
        const Figures f = Run(workbooks, host, book, (work / "out").string(), rows, way.single);
        const double rate = f.made / f.seconds;
        if (baseline == 0) baseline = rate;
        std::printf(
            "%-22s %5d documents in %6.2f s: %6.1f a second, %4.1f× the first way; first PDF after %.2f s\n",
            way.name, f.made, f.seconds, rate, rate / baseline, f.first);
        if (way.single) std::printf("%-22s %6.1f pages a second\n", "", rows / f.seconds);
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
