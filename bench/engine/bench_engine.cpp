// Save runs of 1,000 rows into a one-page, 8-bookmark template, made in this process by the
// document engine (.doc and .docx) and, for comparison in the same run, by the office; then the
// same for a template whose bookmarks sit in a text box, span paragraphs, hold a field and a
// link, or name check boxes; and runs that put a 50 KB photo of its own into each document. Prints
// documents per second, the time per document split into template work, filling and writing,
// a plain file-write baseline, and the peak memory of this process.
//
//   bench_engine [rows]     (default 1000; the office path makes a tenth of them)

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/disk_flusher.h"
#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/workbook_cache.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/run_plan.h"
#include "word/engine/template.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// One save run of `rows` rows from `templatePath` into a fresh folder; documents per second, or 0
// when a document was not made.
double SaveRun(qm::word::WordHost& host, const std::string& workbook, const std::string& templatePath,
               const std::string& folder, const std::string& extension, int rows,
               const std::string& table = "Sheet1$", const std::vector<std::string>& pictureColumns = {}) {
    fs::remove_all(folder);
    qm::MakeDirectory(folder);
    qm::data::WorkbookCache workbooks;
    qm::RunPlanner planner(workbooks, host);
    qm::RunChoice choice;
    choice.workbookPath = workbook;
    choice.table = table;
    choice.templatePath = templatePath;
    choice.pictureColumns = pictureColumns;
    if (planner.Open(choice) || planner.SetRows(1, rows)) return 0;
    qm::RunOutput output;
    output.folder = folder + "/";
    output.referenceName = "R";
    output.extension = extension;
    qm::RunObserver quiet;
    const auto t0 = Clock::now();
    qm::MergeRun run(planner.TakeJob(output), host, quiet);
    const qm::RunOutcome outcome = run.Execute();
    const double elapsed = Seconds(t0);
    if (!outcome.picturesLeft.empty())
        std::fprintf(stderr, "bench_engine: picture %s not placed: %s\n",
                     outcome.picturesLeft.front().file.c_str(), outcome.picturesLeft.front().reason.c_str());
    if (!outcome.bookmarksLeft.empty())
        std::fprintf(stderr, "bench_engine: bookmark %s left as in the template: %s\n",
                     outcome.bookmarksLeft.front().name.c_str(),
                     outcome.bookmarksLeft.front().reason.c_str());
    if (outcome.documentsMade != rows) {
        std::fprintf(stderr, "bench_engine: %d of %d documents made from %s\n", outcome.documentsMade, rows,
                     templatePath.c_str());
        return 0;
    }
    return rows / elapsed;
}

// Per document: reading the template, making the document, writing it checked.
void Breakdown(const std::string& templatePath, const std::string& folder, qm::engine::Format format) {
    constexpr int kTimes = 500;
    auto t0 = Clock::now();
    qm::engine::OpenResult t;
    for (int i = 0; i < kTimes; ++i) t = qm::engine::OpenTemplateFile(templatePath);
    const double open = Seconds(t0) / kTimes;
    if (!t) return;
    std::vector<qm::engine::Fill> fills;
    for (int c = 1; c <= 8; ++c) fills.push_back({"F" + qm::IntToText(c), "员工值 " + qm::IntToText(c)});
    fills.push_back({"F9", "是"});
    fills.push_back({"F10", "0"});
    std::vector<std::uint8_t> bytes;
    std::string error;
    t0 = Clock::now();
    for (int i = 0; i < kTimes; ++i) t.value->Make(fills, bytes, error);
    const double make = Seconds(t0) / kTimes;
    qm::MakeDirectory(folder);
    int code = 0;
    t0 = Clock::now();
    for (int i = 0; i < kTimes; ++i)
        qm::ReplaceFile(
            folder + "/w" + qm::IntToText(i) + ".doc", bytes,
            [format](std::span<const std::uint8_t> b) { return qm::engine::VerifyContainer(b, format); },
            code);
    const double write = Seconds(t0) / kTimes;
    // A save run checks its first document whole and the others by their structure.
    t0 = Clock::now();
    for (int i = 0; i < kTimes; ++i)
        qm::ReplaceFile(
            folder + "/s" + qm::IntToText(i) + ".doc", bytes,
            [format](std::span<const std::uint8_t> b) {
                return qm::engine::VerifyContainer(b, format, qm::engine::ContainerCheck::Structure);
            },
            code);
    const double structure = Seconds(t0) / kTimes;
    std::printf(
        "  per document: template read %.3f ms (once per run), filling %.3f ms, checked write %.3f ms "
        "(%zu bytes); with the structure checked only, as after a run's first document: %.3f ms (%+.0f%%)\n",
        1000 * open, 1000 * make, 1000 * write, bytes.size(), 1000 * structure,
        100 * (structure / write - 1));
}

// Plain writes of `size` bytes to new files: what the file system allows at best.
double PlainWrites(const std::string& folder, std::size_t size, int count) {
    qm::MakeDirectory(folder);
    const std::vector<std::uint8_t> bytes(size, 'x');
    const auto t0 = Clock::now();
    for (int i = 0; i < count; ++i) {
        FILE* f = std::fopen((folder + "/p" + qm::IntToText(i)).c_str(), "wb");
        if (!f) return 0;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return count / Seconds(t0);
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::max(10, std::min(1000, std::atoi(argv[1]))) : 1000;
    std::string work = (fs::temp_directory_path() / "qm-bench-engine-XXXXXX").string();
    if (!mkdtemp(work.data())) return 1;
    const std::string script = std::string(QM_SOURCE_DIR) + "/bench/engine/make_bench_files.py";
    const std::string profile = work + "/profile";
    std::string convert;
    for (const char* name : {"letter", "features"})
        for (const char* format : {"doc", "docx"})
            convert += std::string(convert.empty() ? "" : " && ") + "soffice -env:UserInstallation=file://" +
                       profile + " --headless --norestore --convert-to " + format + " --outdir '" + work +
                       "' '" + work + "/" + name + ".fodt' >/dev/null 2>&1";
    if (std::system(("/usr/bin/python3 '" + script + "' '" + work + "'").c_str()) != 0 ||
        std::system(convert.c_str()) != 0) {
        std::fprintf(stderr, "bench_engine: could not write the bench files\n");
        return 1;
    }
    const std::string workbook = work + "/rows.xls";
    int status = 0;
    std::printf("save run of %d rows, one-page template with 8 bookmarks\n", rows);
    {
        qm::word::WordHost host(qm::word::MakeLibreOffice(), "");
        for (const char* stem : {"letter", "features"}) {
            if (std::string(stem) == "features")
                std::printf(
                    "the same letter with a text box, a bookmark over three paragraphs, one over a field "
                    "and a link, and two check boxes\n");
            for (const auto& [name, extension, format] :
                 {std::tuple{"doc", ".doc", qm::engine::Format::Doc},
                  std::tuple{"docx", ".docx", qm::engine::Format::Docx}}) {
                const std::string templatePath = work + "/" + stem + extension;
                if (!qm::engine::OpenTemplateFile(templatePath)) {
                    std::printf(".%s: the engine refuses the template (%s)\n", name,
                                qm::engine::OpenTemplateFile(templatePath).refusal.c_str());
                    status = 1;
                    continue;
                }
                double best = 0;
                for (int round = 0; round < 3; ++round)
                    best = std::max(best, SaveRun(host, workbook, templatePath,
                                                  work + "/out-" + stem + "-" + name + "/", extension, rows));
                if (best == 0) status = 1;
                std::printf(".%s in this process: %7.1f documents/s (best of 3 runs)\n", name, best);
                Breakdown(templatePath, work + "/parts-" + stem + "-" + name, format);
            }
        }
        // A photo of its own, about 50 KB, into bookmark F8 of every document.
        for (const auto& [name, extension] : {std::pair{"doc", ".doc"}, std::pair{"docx", ".docx"}}) {
            double best = 0;
            for (int round = 0; round < 3; ++round)
                best = std::max(
                    best, SaveRun(host, work + "/photos.csv", work + "/letter" + extension,
                                  work + "/out-photos-" + name + "/", extension, rows, "photos$", {"F8"}));
            if (best == 0) status = 1;
            std::printf(".%s with a 50 KB photo in each document: %7.1f documents/s (best of 3 runs)\n", name,
                        best);
        }
        std::printf("peak memory of this process: %ld KB\n", [] {
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            return usage.ru_maxrss;
        }());
        // The same run through the office: the flat source is a template only the office reads.
        const int officeRows = std::max(10, rows / 10);
        const double office =
            SaveRun(host, workbook, work + "/letter.fodt", work + "/out-office/", ".doc", officeRows);
        if (office == 0) status = 1;
        std::printf(".doc through the office: %7.1f documents/s (%d rows)\n", office, officeRows);
    }
    std::printf("plain 17 KB file writes: %7.1f files/s\n", PlainWrites(work + "/plain", 17 * 1024, 2000));
    // A save run ends with its documents on disk. What that costs after `rows` checked writes
    // of this size: one pass at the end, or passes while the writes go on and a last one (as a
    // run does), each against the same writes left to the system.
    const std::vector<std::uint8_t> document(11 * 1024, 'x');
    const auto writes = [&](const std::string& folder, qm::DiskFlusher* flusher) {
        qm::MakeDirectory(folder);
        const auto start = Clock::now();
        for (int i = 0; i < rows; ++i) {
            int writeError = 0;
            qm::ReplaceFile(folder + "/d" + qm::IntToText(i) + ".doc", document, nullptr, writeError);
            if (flusher) flusher->Written();
        }
        int flushError = 0;
        if (flusher && !flusher->Finish(flushError)) std::printf("(putting them on disk failed)\n");
        return Seconds(start);
    };
    int flushError = 0;
    qm::FlushToDisk(work, flushError);  // nothing of the runs above left to write
    const double unflushed = writes(work + "/unflushed", nullptr);
    qm::FlushToDisk(work, flushError);
    const auto endOnly = [&] {
        const double written = writes(work + "/end-only", nullptr);
        const auto flushStart = Clock::now();
        qm::FlushToDisk(work + "/end-only", flushError);
        return written + Seconds(flushStart);
    }();
    qm::DiskFlusher flusher(work + "/while");
    const double whileWriting = writes(work + "/while", &flusher);
    std::printf(
        "%d checked writes of 11 KB: %.1f ms; on disk at the end: %.1f ms (%+.0f%%) with one pass at "
        "the end, %.1f ms (%+.0f%%) with passes while writing, as a run does\n",
        rows, unflushed * 1000, endOnly * 1000, 100 * (endOnly / unflushed - 1), whileWriting * 1000,
        100 * (whileWriting / unflushed - 1));
    std::error_code ec;
    fs::remove_all(work, ec);
    return status;
}
