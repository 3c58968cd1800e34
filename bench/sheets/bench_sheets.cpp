// Prints how long the .xlsx and .csv readers take on 65,535 records of 20 columns: listing the
// sheets (which parses), the parse alone, every cell rendered shown and raw, and the first and
// last page read warm through OpenSheet, next to openpyxl in read-only mode on the same .xlsx.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/cursor.h"
#include "data/model/workbook.h"
#include "data/names.h"
#include "data/workbook_cache.h"
#include "data/workbook_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

double PeakMb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Best of three runs of `body`, in ms.
template <typename Body>
double Best(Body&& body) {
    double best = 1e18;
    for (int i = 0; i < 3; ++i) {
        const auto t = Clock::now();
        body();
        best = std::min(best, Ms(t));
    }
    return best;
}

// The 10 rows of a page as the grid reads them, shown values.
double Page(qm::data::WorkbookCache& cache, const std::string& connection, const std::string& table,
            bool last, std::string& sample) {
    const auto t = Clock::now();
    auto cursor = qm::data::OpenSheet(connection, table, &cache, qm::data::ValueStyle::Shown);
    if (!cursor) {
        sample = "(open failed)";
        return Ms(t);
    }
    cursor->setPageSize(10);
    cursor->setAbsolutePage(last ? cursor->pageCount() : 1);
    for (int row = 0; row < 10 && !cursor->eof(); ++row, cursor->moveNext())
        for (int f = 0; f < cursor->fieldCount(); ++f) sample = cursor->fieldValue(f);
    return Ms(t);
}

void Measure(const std::string& path, bool openpyxl) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    std::printf("\n%s (%.1f MB)\n", path.c_str(), st.st_size / 1e6);
    const std::string connection = qm::data::BuildConnectionString(qm::data::ExcelWorkbook, "", path);
    {
        qm::data::WorkbookCache cache;
        std::vector<std::string> names;
        const auto t = Clock::now();
        qm::data::ListSheets(connection, names, &cache);
        std::printf("  list sheets (parses):      %6.0f ms -> %s\n", Ms(t),
                    names.empty() ? "(none)" : names[0].c_str());
    }
    std::shared_ptr<const qm::xls::Workbook> book;
    const double parse = Best([&] { book = qm::data::LoadWorkbook(path).workbook; });
    if (!book || book->sheets.empty()) {
        std::printf("  could not be read: %s\n", qm::data::LoadWorkbook(path).problem.c_str());
        return;
    }
    const qm::xls::Sheet& s = book->sheets[0];
    std::printf("  parse (best of 3):         %6.0f ms, %zu rows x %zu columns\n", parse, s.rowCount(),
                s.columnCount());
    std::size_t bytes = 0;
    const double shown = Best([&] {
        for (std::size_t r = 0; r < s.rowCount(); ++r)
            for (std::size_t c = 0; c < s.columnCount(); ++c) bytes += s.shownCell(r, c).size();
    });
    const double raw = Best([&] {
        for (std::size_t r = 0; r < s.rowCount(); ++r)
            for (std::size_t c = 0; c < s.columnCount(); ++c) bytes += s.cell(r, c).size();
    });
    std::printf("  every cell shown:          %6.0f ms (+%.0f%% of the parse); raw %.0f ms\n", shown,
                100.0 * shown / parse, raw);
    std::printf("  sample: %s | %s | %s | %s\n", s.shownCell(1, 2).c_str(), s.shownCell(1, 3).c_str(),
                s.shownCell(1, 4).c_str(), s.shownCell(65535, 4).c_str());
    qm::data::WorkbookCache cache;
    std::string sample;
    const std::string table = qm::data::JetTableName(s.name);
    Page(cache, connection, table, false, sample);  // fills the cache
    const double first = Page(cache, connection, table, false, sample);
    std::printf("  first page, warm:          %6.2f ms\n", first);
    Page(cache, connection, table, true, sample);
    const double last = Page(cache, connection, table, true, sample);
    std::printf("  last page, warm:           %6.2f ms (last value: %s)\n", last, sample.c_str());
    if (openpyxl) {
        const std::string ms =
            Run("/usr/bin/python3 -c " +
                Quote("import sys, time, openpyxl\nt = time.time()\n"
                      "b = openpyxl.load_workbook(sys.argv[1], read_only=True)\nn = 0\n"
                      "for row in b.worksheets[0].iter_rows(values_only=True): n += len(row)\n"
                      "print('%.0f' % ((time.time() - t) * 1000))") +
                " " + Quote(path) + " 2>/dev/null");
        if (ms.empty()) {
            std::printf("  openpyxl (read-only, every value): failed\n");
        } else {
            std::printf("  openpyxl (read-only, every value): %s ms, %.1fx our parse\n", ms.c_str(),
                        std::atof(ms.c_str()) / parse);
        }
    }
}

}  // namespace

struct LoadFigures {
    double ms = 0, peakMb = 0;
    std::string said;  // "N ms, peak M MB, R rows[: problem]"
};

// Loads `path` in a process of its own, so that its peak memory is its own: the time and the
// peak.
LoadFigures LoadAlone(const std::string& path) {
    LoadFigures figures;
    int channel[2];
    if (::pipe(channel) != 0) return figures;
    const pid_t child = ::fork();
    if (child == 0) {
        const auto began = std::chrono::steady_clock::now();
        const qm::data::WorkbookLoad load = qm::data::LoadWorkbook(path);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
        char line[512];
        const int n = std::snprintf(
            line, sizeof line, "%.0f %.0f %.0f ms, peak %.0f MB, %zu rows%s%s", ms, PeakMb(), ms, PeakMb(),
            load.workbook && !load.workbook->sheets.empty() ? load.workbook->sheets[0].rowCount()
                                                            : std::size_t{0},
            load.problem.empty() ? "" : ": ", load.problem.c_str());
        if (n > 0 && ::write(channel[1], line, static_cast<std::size_t>(n)) < 0) _exit(1);
        _exit(0);
    }
    ::close(channel[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    char* rest = nullptr;
    figures.ms = std::strtod(said.c_str(), &rest);
    figures.peakMb = std::strtod(rest, &rest);
    figures.said = rest && *rest == ' ' ? rest + 1 : said;
    return figures;
}

// The best of `times` loads, printed; the machines we measure on vary by half from one load
// to the next as their memory is handed out.
LoadFigures BestLoad(const std::string& path, int times) {
    LoadFigures best;
    for (int i = 0; i < times; ++i) {
        const LoadFigures one = LoadAlone(path);
        if (i == 0 || one.ms < best.ms) best = one;
    }
    std::printf("  %-40s %s\n", path.substr(path.rfind('/') + 1).c_str(), best.said.c_str());
    return best;
}

int main(int argc, char** argv) {
    const std::string folder = std::string(QM_BINARY_DIR) + "/bench";
    // --load PATH: that workbook alone, as --rows loads each (for profiling one format).
    if (argc > 2 && std::string(argv[1]) == "--load") {
        BestLoad(argv[2], 1);
        return 0;
    }
    // --rows N: the same records, N of them, each format loaded alone (time and peak memory).
    // 1048575 records and their title fill every row a sheet can have.
    if (argc > 2 && std::string(argv[1]) == "--rows") {
        const std::string rows = argv[2];
        const std::string xlsx = folder + "/records-" + rows + "x20.xlsx";
        const std::string csv = folder + "/records-" + rows + "x20.csv";
        const std::string ods = folder + "/records-" + rows + "x20.ods";
        if (!Exists(xlsx) || !Exists(csv) || !Exists(ods)) {
            std::printf("writing %s, %s and %s ...\n", xlsx.c_str(), csv.c_str(), ods.c_str());
            Run("/usr/bin/python3 " + Quote(std::string(QM_SOURCE_DIR) + "/bench/sheets/make_big_sheets.py") +
                " " + Quote(xlsx) + " " + Quote(csv) + " " + Quote(rows) + " " + Quote(ods));
        }
        std::printf("%s records of 20 columns, each loaded by a process of its own (best of 3):\n",
                    rows.c_str());
        const LoadFigures x = BestLoad(xlsx, 3), o = BestLoad(ods, 3), c = BestLoad(csv, 3);
        if (c.ms > 0 && c.peakMb > 0) {
            std::printf("  against the .csv: .xlsx %.1fx the time, %.1fx the memory; .ods %.1fx, %.1fx\n",
                        x.ms / c.ms, x.peakMb / c.peakMb, o.ms / c.ms, o.peakMb / c.peakMb);
        }
        return 0;
    }
    const std::string xlsx = argc > 1 ? argv[1] : folder + "/records-65535x20.xlsx";
    const std::string csv = argc > 2 ? argv[2] : folder + "/records-65535x20.csv";
    if (!Exists(xlsx) || !Exists(csv)) {
        std::printf("writing %s and %s ...\n", xlsx.c_str(), csv.c_str());
        Run("/usr/bin/python3 " + Quote(std::string(QM_SOURCE_DIR) + "/bench/sheets/make_big_sheets.py") +
            " " + Quote(xlsx) + " " + Quote(csv));
    }
    Measure(xlsx, true);
    Measure(csv, false);
    std::printf("\npeak memory (ru_maxrss): %.0f MB\n", PeakMb());
    return 0;
}
