#include "merge/preview.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "common/fs.h"
#include "common/text.h"
#include "merge/merge_run.h"
#include "word/engine/text.h"
#include "word/word_host.h"

extern char** environ;

namespace qm {
namespace {

namespace fs = std::filesystem;

// Runs `args` (found on PATH) with no input and no output; true when it ended with status 0.
bool RunQuietly(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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

std::string Execute(MergeJob job, word::WordHost& host) {
    RunObserver quiet;
    MergeRun run(std::move(job), host, quiet);
    const RunOutcome outcome = run.Execute();
    return outcome.files.empty() ? std::string() : outcome.files.front();
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
    const std::string pdf = Execute(std::move(job.pages), host);
    preview.document = pdf;
    if (!pdf.empty() && RunQuietly({"pdftoppm", "-r", "96", "-png", pdf, dir + "page"})) {
        for (const std::string& name : ListFiles(dir, ".png")) preview.pages.push_back(dir + name);
        // page-1.png … page-10.png: shorter names first.
        std::sort(preview.pages.begin(), preview.pages.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        if (!preview.pages.empty()) return preview;
    }
    if (!pdf.empty())
        preview.pagesProblem = PagesProblem::NotPictured;
    else if (!host.HasOffice() || !host.IsWordRunning())
        preview.pagesProblem = PagesProblem::NoOffice;
    else
        preview.pagesProblem = PagesProblem::NotConverted;
    const std::string made = Execute(std::move(job.text), host);
    if (!made.empty()) preview.document = made;
    std::vector<std::uint8_t> bytes;
    if (!made.empty() && ReadFileBytes(made, bytes))
        if (std::optional<std::string> text = engine::DocumentText(bytes)) preview.text = std::move(*text);
    return preview;
}

}  // namespace qm
