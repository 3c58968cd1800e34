#include "merge/preview.h"

#include <algorithm>
#include <filesystem>

#include "common/fs.h"
#include "common/text.h"
#include "merge/merge_run.h"
#include "word/engine/text.h"
#include "word/pdf_join.h"
#include "word/word_host.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// The job of rows first..last saved into `folder` as `extension`.
std::optional<MergeJob> DocumentJob(const RunChoice& choice, int first, int last,
                                    data::WorkbookCache& workbooks, word::WordHost& host,
                                    const std::string& folder, const std::string& extension) {
    RunPlanner planner(workbooks, host);
    if (planner.Open(choice) || planner.SetRows(first, last)) return std::nullopt;
    RunOutput output;
    output.folder = folder;
    output.referenceName = "preview";
    output.extension = extension;
    return planner.TakeJob(output);
}

// The run of the document; its outcome says what it did with the pictures, too.
RunOutcome Execute(MergeJob job, word::WordHost& host) {
    RunObserver quiet;
    MergeRun run(std::move(job), host, quiet);
    return run.Execute();
}

std::string FileOf(const RunOutcome& outcome) {
    return outcome.files.empty() ? std::string() : outcome.files.front();
}

// The pictures the document left out, each once, in the order the run met them.
void NotePicturesLeft(const RunOutcome& outcome, Preview& preview) {
    for (const PictureLeft& left : outcome.picturesLeft) {
        std::string line = PictureLeftLine(left);
        if (std::find(preview.picturesLeft.begin(), preview.picturesLeft.end(), line) ==
            preview.picturesLeft.end())
            preview.picturesLeft.push_back(std::move(line));
    }
}

// The bookmark's column among `titles` (the longest that names it), and its slot in multi-row
// mode ("姓名_2" → 2); "" when none names it.
std::pair<std::string, int> ColumnOf(const std::string& bookmark, const std::vector<std::string>& titles,
                                     bool multiRow) {
    std::string best;
    for (const std::string& title : titles)
        if ((bookmark == title || bookmark.starts_with(title + "_")) && title.size() > best.size())
            best = title;
    int slot = 1;
    if (multiRow && bookmark.size() > best.size() + 1) {
        std::string rest = bookmark.substr(best.size() + 1);
        if (const std::size_t copy = rest.find("_c"); copy != std::string::npos) rest.resize(copy);
        slot = std::max(TextToInt(rest), 1);
    }
    return {best, slot};
}

}  // namespace

std::string PictureLeftLine(const PictureLeft& left) {
    if (left.problem == engine::PictureProblem::Missing)
        return "图片“" + left.file + "”不存在，书签保持模板原样";
    return "图片“" + left.file + "”没有放入（" + left.why + "），书签保持模板原样";
}

PreviewJob PlanPreview(const RunChoice& choice, int row, data::WorkbookCache& workbooks, word::WordHost& host,
                       const std::string& folder) {
    PreviewJob job;
    Preview& preview = job.preview;
    preview.row = row;
    job.folder = folder.ends_with("/") ? folder : folder + "/";
    RunPlanner planner(workbooks, host);
    if (auto problem = planner.Open(choice)) {
        preview.problem = std::move(problem);
        return job;
    }
    if (auto problem = planner.CheckMatching()) {
        preview.problem = std::move(problem);
        return job;
    }
    preview.rowCount = planner.recordCount();
    if (row < 1 || row > preview.rowCount) {
        preview.problem = PlanProblem{PlanProblemKind::RangePastEnd, {}};
        return job;
    }
    preview.sheetRow = planner.SheetRowOf(row);
    const int last = choice.multiRowMode
                         ? std::min(row + std::max(planner.SlotsPerDocument(), 1) - 1, preview.rowCount)
                         : row;
    const MatchReport report = planner.Report();
    preview.emptyBookmarks = report.empty;
    for (const std::string& bookmark : report.filled) {
        const auto [title, slot] = ColumnOf(bookmark, planner.matchedTitles(), choice.multiRowMode);
        const int at = row + slot - 1;
        if (title.empty() || at > last ||
            planner.ValueAt(at, title).find_first_not_of(" \t\r\n") == std::string::npos)
            preview.emptyBookmarks.push_back(bookmark);
    }
    std::optional<MergeJob> pages = DocumentJob(choice, row, last, workbooks, host, job.folder, ".pdf");
    // The engine's own document, to be read back as text.
    const std::string own = LowerExtension(choice.templatePath) == ".docx" ? ".docx" : ".doc";
    std::optional<MergeJob> text = DocumentJob(choice, row, last, workbooks, host, job.folder, own);
    if (!pages || !text) {
        preview.problem = PlanProblem{PlanProblemKind::SheetUnreadable, choice.table};
        return job;
    }
    job.pages = std::move(*pages);
    job.text = std::move(*text);
    return job;
}

Preview MakePreview(PreviewJob job, word::WordHost& host) {
    Preview preview = std::move(job.preview);
    if (preview.problem) return preview;
    const std::string& dir = job.folder;
    std::error_code error;
    fs::remove_all(fs::u8path(dir), error);
    fs::create_directories(fs::u8path(dir), error);
    const RunOutcome pictured = Execute(std::move(job.pages), host);
    NotePicturesLeft(pictured, preview);
    const std::string pdf = FileOf(pictured);
    preview.document = pdf;
    std::string why;
    if (!pdf.empty() && word::PicturePdfPages(pdf, dir + "page", 96, preview.pages, why)) return preview;
    if (!pdf.empty())
        preview.pagesProblem = PagesProblem::NotPictured;
    else if (!host.HasOffice() || !host.IsWordRunning())
        preview.pagesProblem = PagesProblem::NoOffice;
    else
        preview.pagesProblem = PagesProblem::NotConverted;
    const RunOutcome read = Execute(std::move(job.text), host);
    if (preview.picturesLeft.empty()) NotePicturesLeft(read, preview);
    const std::string made = FileOf(read);
    if (!made.empty()) preview.document = made;
    std::vector<std::uint8_t> bytes;
    if (!made.empty() && ReadFileBytes(made, bytes))
        if (std::optional<std::string> text = engine::DocumentText(bytes)) preview.text = std::move(*text);
    return preview;
}

}  // namespace qm
