#include "merge/run_plan.h"

#include <algorithm>

#include "common/text.h"
#include "data/connection.h"
#include "data/cursor.h"
#include "merge/range_check.h"
#include "word/engine/template.h"
#include "word/word_host.h"

namespace qm {

RunPlanner::RunPlanner(data::WorkbookCache& workbooks, word::WordHost& host)
    : workbooks_(workbooks), host_(host) {}

RunPlanner::~RunPlanner() = default;

std::optional<PlanProblem> RunPlanner::Open(const RunChoice& choice) {
    if (auto problem = OpenSheet(choice)) return problem;
    return OpenTemplate();
}

std::optional<PlanProblem> RunPlanner::OpenSheet(const RunChoice& choice) {
    choice_ = choice;
    // The file may have changed or gone since it was chosen.
    if (std::string problem = data::WorkbookProblemAt(choice.workbookPath, &workbooks_); !problem.empty())
        return PlanProblem{PlanProblemKind::WorkbookUnreadable, std::move(problem)};
    sheet_ = data::OpenSheetAt(choice.workbookPath, choice.table, &workbooks_, choice.valueStyle);
    if (!sheet_) return PlanProblem{PlanProblemKind::SheetUnreadable, choice.table};
    rowsNotCompared_ = 0;
    titles_.clear();
    for (int i = 0, n = sheet_->fieldCount(); i < n; ++i) titles_.push_back(sheet_->fieldName(i));
    sheetRecordCount_ = TruncToInt(static_cast<double>(sheet_->recordCount()));
    if (!choice.filters.empty() && sheetRecordCount_ > 0) {
        // Values compare as stored, whichever way the run writes them.
        std::shared_ptr<const data::Cursor> raw = sheet_;
        if (choice.valueStyle != data::ValueStyle::Raw)
            raw = data::OpenSheetAt(choice.workbookPath, choice.table, &workbooks_, data::ValueStyle::Raw);
        if (!raw) return PlanProblem{PlanProblemKind::SheetUnreadable, choice.table};
        FilterOutcome matching = MatchingRows(*raw, choice.filters);
        if (matching.problem)
            return PlanProblem{PlanProblemKind::FilterProblem, matching.problem->column,
                               matching.problem->kind};
        rowsNotCompared_ = matching.unlike;
        if (matching.rows.empty()) return PlanProblem{PlanProblemKind::NoRowMatches, {}};
        sheet_ = data::RowSubset(std::move(sheet_), std::move(matching.rows));
    }
    recordCount_ = TruncToInt(static_cast<double>(sheet_->recordCount()));
    first_ = 1;
    last_ = recordCount_;
    return std::nullopt;
}

std::optional<PlanProblem> RunPlanner::OpenTemplate() {
    const RunChoice& choice = choice_;
    // The working document may have gone with the office's window: it is made again here, so
    // that the template's bookmarks, not a closed document's none, decide the matching.
    if (host_.CurrentTemplatePath() != choice.templatePath || !host_.IsDocumentOpen()) {
        if (host_.OpenTemplate(choice.templatePath).empty()) {
            const engine::OpenResult engine = host_.TemplateAt(choice.templatePath);
            if (!engine && !engine::KeptFromTheOffice(engine.refusal) && !host_.IsWordRunning())
                return PlanProblem{PlanProblemKind::OfficeUnavailable, engine.refusal};
            return PlanProblem{PlanProblemKind::TemplateUnreadable, engine ? std::string() : engine.refusal};
        }
    }
    bookmarks_ = SplitList(host_.ListBookmarks());
    unfillable_ = host_.UnfillableBookmarks();
    matched_ = SplitList(MatchTitleLists(JoinList(titles_), JoinList(bookmarks_)));
    return std::nullopt;
}

std::optional<PlanProblem> RunPlanner::CheckMatching() const {
    if (matched_.empty()) return PlanProblem{PlanProblemKind::NoTitleMatches, {}};
    if (!AnyBookmarkFillable(JoinList(matched_), JoinList(bookmarks_), choice_.multiRowMode,
                             choice_.repeatMode))
        return PlanProblem{PlanProblemKind::NothingFillable, {}};
    return std::nullopt;
}

std::optional<PlanProblem> RunPlanner::SetRows(int first, int last) {
    first_ = std::max(first, 1);
    last_ = last < 1 || last > recordCount_ ? recordCount_ : last;
    if (first_ > recordCount_) return PlanProblem{PlanProblemKind::RangePastEnd, {}};
    return std::nullopt;
}

std::optional<PlanProblem> RunPlanner::SetRangeTexts(int modeIndex, const std::string& startText,
                                                     const std::string& endText, int recordsPerPage) {
    const CheckedRange range =
        CheckRowRange(modeIndex, startText, endText, recordsPerPage, recordCount_, choice_.table);
    if (!range) return PlanProblem{PlanProblemKind::BadRange, range.problem};
    first_ = range.start;
    last_ = range.end;
    return std::nullopt;
}

MatchReport RunPlanner::Report() const {
    return ReportMatches(titles_, bookmarks_, choice_.multiRowMode, choice_.repeatMode, unfillable_,
                         choice_.pictureColumns);
}

int RunPlanner::SlotsPerDocument() const {
    return qm::SlotsPerDocument(JoinList(matched_), JoinList(bookmarks_), choice_.repeatMode);
}

std::vector<FillStep> RunPlanner::FillSteps() const {
    return qm::FillSteps(titles_, bookmarks_, choice_.multiRowMode, choice_.repeatMode);
}

std::vector<int> RunPlanner::DocumentFirstRows() const {
    std::vector<int> rows;
    int step = 1;
    if (choice_.multiRowMode) {
        step = SlotsPerDocument();
        if (step < 1) return rows;
    }
    for (long long row = first_; row <= last_; row += step) rows.push_back(static_cast<int>(row));
    return rows;
}

NamePlan RunPlanner::FileNames(const std::string& nameColumn, const std::string& referenceName,
                               const std::string& extension, std::size_t limit) const {
    NamePlan plan;
    if (!sheet_) return plan;
    std::vector<int> firstRows = DocumentFirstRows();
    if (firstRows.size() > limit) firstRows.resize(limit);
    const int field = sheet_->fieldIndex(nameColumn);
    DocumentNamer namer(referenceName, extension);
    for (std::size_t i = 0; i < firstRows.size(); ++i) {
        const int row = firstRows[i];
        const std::string value = field >= 0 ? sheet_->valueAt(row - 1, field) : std::string();
        // Numbered as the run numbers its files: by sheet row, or by document in multi-row mode.
        const int number = choice_.multiRowMode ? static_cast<int>(i + 1) : SheetRowOf(row);
        plan.names.push_back(namer.Next(value, number));
    }
    plan.numbered = namer.numbered();
    plan.renamed = namer.renamed();
    return plan;
}

std::string RunPlanner::ConfirmationText(const RunOutput& output) const {
    if (output.singleFile)
        return SingleFileConfirmationText(output.folder, output.referenceName + ".pdf", DocumentCount());
    const NamePlan plan = FileNames(output.nameColumn, output.referenceName, output.extension);
    if (!output.nameColumn.empty()) return NamedConfirmationText(output.folder, plan);
    // Numbered by document in multi-row mode; by sheet row otherwise, which a filter leaves
    // with gaps.
    bool consecutive = true;
    if (!choice_.multiRowMode) {
        const std::vector<int> rows = DocumentFirstRows();
        for (std::size_t i = 1; i < rows.size() && consecutive; ++i)
            consecutive = SheetRowOf(rows[i]) == SheetRowOf(rows[i - 1]) + 1;
    }
    return NumberedConfirmationText(output.folder, plan.names, consecutive);
}

std::string RunPlanner::ValueAt(int row, const std::string& title) const {
    return sheet_ ? sheet_->valueAt(row - 1, sheet_->fieldIndex(title)) : std::string();
}

int RunPlanner::SheetRowOf(int row) const {
    return sheet_ ? static_cast<int>(sheet_->sheetRow(row - 1)) + 1 : row;
}

MergeJob RunPlanner::TakeJob(const RunOutput& output) {
    MergeJob job;
    job.request.start = first_;
    job.request.end = last_;
    job.request.kind = output.kind;
    job.request.sheetName = choice_.table;
    job.request.templatePath = choice_.templatePath;
    job.request.extension = output.extension;
    job.request.nameColumn = output.nameColumn;
    job.request.singleFile = output.singleFile;
    job.sheet = std::move(sheet_);
    for (const std::string& title : matched_)
        if (std::find(job.titles.begin(), job.titles.end(), title) == job.titles.end())
            job.titles.push_back(title);
    job.bookmarks = bookmarks_;
    job.multiRowMode = choice_.multiRowMode;
    job.repeatMode = choice_.repeatMode;
    job.slotsPerDocument = std::max(SlotsPerDocument(), 1);
    job.outputFolder = output.folder;
    job.referenceName = output.referenceName;
    for (const std::string& title : choice_.pictureColumns)
        if (std::find(job.titles.begin(), job.titles.end(), title) != job.titles.end())
            job.pictureTitles.push_back(title);
    const std::size_t slash = choice_.workbookPath.rfind('/');
    job.pictureFolder =
        slash == std::string::npos ? std::string() : choice_.workbookPath.substr(0, slash + 1);
    return job;
}

}  // namespace qm
