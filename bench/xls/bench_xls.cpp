// Prints how long the workbook reader and the paged browse take on a large workbook, next to
// xlrd on the same file, and the peak memory of the run.

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/recordset.h"
#include "data/workbook_cache.h"
#include "data/xls/workbook_reader.h"

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

double PeakMb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Processor time of this process (user and system), in ms: beside the wall time it shows what
// a parse costs when other programs share the processors.
double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Reads the 10 rows of a page as the grid of the main window does.
double LoadPage(qm::data::WorkbookCache& cache, const std::string& connection, const std::string& table,
                bool lastPage, std::string& sample) {
    const auto t = Clock::now();
    qm::data::Recordset rs(&cache);
    if (rs.open("select * from [" + table + "]", connection, 1)) {
        rs.setPageSize(10);
        rs.setAbsolutePage(lastPage ? rs.pageCount() : 1);
        const int fields = qm::data::GetFieldCount(rs);
        for (int row = 0; row < 10 && !rs.eof(); ++row) {
            for (int f = 0; f < fields; ++f)
                sample = qm::data::GetFieldValue(rs, qm::data::GetFieldName(rs, f));
            rs.moveNext();
        }
        rs.close();
    } else {
        sample = "(open failed)";
    }
    return Ms(t);
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = argc > 1 ? argv[1] : std::string(QM_BINARY_DIR) + "/bench/records-65535x20.xls";
    if (!Exists(path)) {
        std::printf("writing %s with xlwt ...\n", path.c_str());
        const auto t = Clock::now();
        Run("/usr/bin/python3 " + Quote(std::string(QM_SOURCE_DIR) + "/bench/xls/make_big_workbook.py") +
            " " + Quote(path));
        std::printf("  written in %.0f ms\n", Ms(t));
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "no workbook at %s\n", path.c_str());
        return 1;
    }
    std::printf("workbook: %s (%.1f MB)\n", path.c_str(), st.st_size / 1e6);

    // The parse a user waits for when choosing the workbook, measured first so that the peak
    // memory of the process is the peak of this parse alone.
    qm::data::WorkbookCache cache;
    const std::string connection = qm::data::BuildConnectionString(qm::data::ExcelWorkbook, "", path);
    std::vector<std::string> names;
    const double cpuBefore = CpuMs();
    const auto listed = Clock::now();
    qm::data::ListSheets(connection, names, &cache);
    const double listMs = Ms(listed), listCpu = CpuMs() - cpuBefore, listPeak = PeakMb();
    std::printf(
        "ListSheets (first, parses): %.0f ms (%.0f ms of processor time), peak memory %.0f MB"
        " -> %zu table(s)%s%s\n",
        listMs, listCpu, listPeak, names.size(), names.empty() ? "" : ", first ",
        names.empty() ? "" : names[0].c_str());

    double best = 1e18, first = 0;
    std::size_t rows = 0, columns = 0;
    for (int i = 0; i < 3; ++i) {
        const auto t = Clock::now();
        auto book = qm::xls::ReadWorkbookFile(path);
        const double ms = Ms(t);
        if (!book || book->sheets.empty()) {
            std::fprintf(stderr, "our reader could not read the workbook\n");
            return 1;
        }
        rows = book->sheets[0].rowCount();
        columns = book->sheets[0].columnCount();
        if (i == 0) first = ms;
        best = std::min(best, ms);
    }
    std::printf("our reader: parse %.0f ms (first of 3), %.0f ms (best of 3); %zu rows x %zu columns\n",
                first, best, rows, columns);
    std::printf("peak memory after four parses, one workbook kept (ru_maxrss): %.0f MB\n", PeakMb());
    {
        auto book = qm::xls::ReadWorkbookFile(path);
        const auto t = Clock::now();
        std::size_t bytes = 0;
        const qm::xls::Sheet& s = book->sheets[0];
        for (std::size_t r = 0; r < s.rowCount(); ++r)
            for (std::size_t c = 0; c < s.columnCount(); ++c) bytes += s.cell(r, c).size();
        std::printf("our reader: every cell as text %.0f ms (%zu bytes of text)\n", Ms(t), bytes);
    }

    // xlrd prints its time and its own peak memory: "ms MB".
    const std::string xlrd =
        Run("/usr/bin/python3 -c " +
            Quote("import resource, sys, time, xlrd\nt = time.time()\nb = xlrd.open_workbook(sys.argv[1])\n"
                  "print('%.0f %.0f' % ((time.time() - t) * 1000,\n"
                  "      resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024))") +
            " " + Quote(path) + " 2>/dev/null");
    double xlrdMs = 0, xlrdMb = 0;
    const bool xlrdRan = std::sscanf(xlrd.c_str(), "%lf %lf", &xlrdMs, &xlrdMb) == 2;
    if (xlrdRan)
        std::printf("xlrd (python3): open_workbook %.0f ms, peak memory %.0f MB\n", xlrdMs, xlrdMb);
    else
        std::printf("xlrd (python3): open_workbook (failed)\n");
    std::printf("ListSheets (first, parses): %.0f ms, peak %.0f MB against xlrd: %.0f ms, peak %.0f MB\n",
                listMs, listPeak, xlrdMs, xlrdMb);

    auto t = Clock::now();
    qm::data::ListSheets(connection, names, &cache);
    std::printf("ListSheets (again, unchanged file): %.1f ms\n", Ms(t));
    const std::string table = names.empty() ? "Records$" : names[0];

    qm::data::WorkbookCache cold;
    std::string sample;
    std::printf("page 1 of 10 records, first time:  %.1f ms\n",
                LoadPage(cold, connection, table, false, sample));
    std::printf("page 1 of 10 records, again:       %.1f ms\n",
                LoadPage(cold, connection, table, false, sample));
    qm::data::WorkbookCache cold2;
    std::printf("last page of 10 records, first time: %.1f ms\n",
                LoadPage(cold2, connection, table, true, sample));
    std::printf("last page of 10 records, again:      %.1f ms  (last value read: %s)\n",
                LoadPage(cold2, connection, table, true, sample), sample.c_str());

    std::printf("peak memory at the end, three workbook caches filled (ru_maxrss): %.0f MB\n", PeakMb());
    return 0;
}
