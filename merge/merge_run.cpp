#include "merge/merge_run.h"

#include <algorithm>

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/cursor.h"
#include "merge/combined_pdf.h"
#include "merge/matching.h"
#include "merge/output_names.h"
#include "merge/program_state.h"
#include "word/word_host.h"

namespace qm {

namespace {

constexpr std::string_view kNoBookmarkFilled = "当前Word模板没有与Excel数据表格标题相匹配的书签名称!";
constexpr std::string_view kSaveDone = "完成！是否打开存放文档所在文件夹？";
constexpr std::string_view kPrintDone =
    "打印作业已经发送到打印机，根据您默认打印机的情况，可能需要手动选择命令才能真正完成打印（如用虚拟打印机打"
    "印到文档时）！";

// Marks the program-wide run flag for the lifetime of one run.
class RunGuard {
  public:
    explicit RunGuard(ProgramState& state) : state_(state), owns_(!state.runInProgress) {
        if (owns_) state_.runInProgress = true;
    }
    ~RunGuard() {
        if (owns_) state_.runInProgress = false;
    }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;
    bool owns() const { return owns_; }

  private:
    ProgramState& state_;
    bool owns_;
};

// Why a bookmark kept the template's text, as the closing messages say it.
std::string LeftReason(const engine::Skip& skip) {
    switch (skip.cause) {
        case engine::Skip::Cause::Inside:
            return "位于书签“" + skip.outer + "”之内，由其值取代";
        case engine::Skip::Cause::NoState:
            return "复选框只接受 1、是、√、☑、true、yes、on（勾选）或 "
                   "0、否、☐、false、no、off、空值（不勾选）";
        case engine::Skip::Cause::NoEntry: {
            const std::size_t colon = skip.why.find(": ");
            return "下拉列表只接受其中的选项：" +
                   (colon == std::string::npos ? std::string() : skip.why.substr(colon + 2));
        }
        case engine::Skip::Cause::Refused:
            break;
    }
    return "本程序无法填写（" + ReasonText(skip.why) + "）";
}

}  // namespace

std::string JoinNumbers(const std::vector<int>& numbers, std::string_view separator) {
    std::vector<int> sorted = numbers;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::string text;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1) ++j;
        if (!text.empty()) text += separator;
        text += IntToText(sorted[i]);
        if (j > i) text += "-" + IntToText(sorted[j]);
        i = j + 1;
    }
    return text;
}

std::string BookmarksLeftText(const std::vector<BookmarkLeft>& left, bool multiRowMode) {
    std::string text;
    for (const BookmarkLeft& b : left) {
        text += "书签“" + b.name + "”保持模板原样（" + (multiRowMode ? "文档 " : "行 ") +
                JoinNumbers(b.where, "、") + "）：" + b.why + "。\r\n";
    }
    return text;
}

std::string MergeQuery(std::string_view matchedTitles, std::string_view sheetName) {
    std::string query = "select ";
    query += ReplaceAll(matchedTitles, kListSeparator, ",");
    query += " from [";
    query += sheetName;
    query += "]";
    return query;
}

MergeRun::MergeRun(MergeJob job, data::WorkbookCache* workbooks, word::WordHost& host, RunUi& ui)
    : job_(std::move(job)), workbooks_(workbooks), host_(host), ui_(ui), route_(word::Route::Engine) {}

MergeRun::~MergeRun() = default;

bool MergeRun::IsPrint() const {
    return job_.request.kind == OutputKind::Print;
}

RunOutcome MergeRun::Execute() {
    outcome_.started = true;
    if (!Prepare()) return outcome_;
    if (combined_ && !combined_->Begin()) {
        joinError_ = "the folder for its parts cannot be made";
        return End();
    }
    if (job_.multiRowMode)
        RunMultiRowMerge();
    else
        RunSingleRowMerge();
    return End();
}

// Opens the sheet, finds the matched columns and moves to the first row; chooses who makes the
// documents. False when the range starts past the last record: the run then ends without a word.
bool MergeRun::Prepare() {
    const RunRequest& request = job_.request;
    start_ = request.start < 1 ? 1 : request.start;
    cursor_ = data::OpenSheet(job_.connection, request.sheetName, workbooks_, job_.valueStyle);
    const long long n = cursor_ ? cursor_->recordCount() : 0;
    if (n < start_) {
        if (IsPrint()) ui_.showMainWindow();  // the print request hid it
        return false;
    }
    const long long end = request.end < 1 ? n : request.end;
    cursor_->move(static_cast<double>(start_ - 1));
    count_ = TruncToInt(static_cast<double>(end) - start_ + 1);
    outcome_.firstRow = start_;
    outcome_.lastRow = static_cast<int>(std::min(end, n));
    for (const std::string& title : job_.titles) columns_.push_back(cursor_->fieldIndex(title));

    // The engine makes the documents whenever it reads the template; a bookmark it cannot fill
    // stays as the template has it. Only a template it cannot read goes to the office.
    route_ = host_.TemplateAt(request.templatePath) ? word::Route::Engine : word::Route::Office;
    outcome_.throughOffice = route_ == word::Route::Office;
    if (!IsPrint()) {
        if (request.singleFile) {
            combined_ = std::make_unique<CombinedPdf>(job_.outputFolder + job_.referenceName + ".pdf");
        } else if (!request.nameColumn.empty()) {
            // A column gone from the sheet names every file by its number, as an empty value does.
            nameField_ = cursor_->fieldIndex(request.nameColumn);
            namer_ = std::make_unique<DocumentNamer>(job_.referenceName, request.extension);
        }
    }
    // The working document of the template choice serves when it is still there and was made
    // the same way; otherwise (closed in the office's window, say) it is made again.
    if (host_.CurrentRoute() != route_ || host_.CurrentTemplatePath() != request.templatePath ||
        !host_.IsDocumentOpen())
        host_.OpenTemplate(request.templatePath, route_);
    // A run that was killed while it saved may have left a temporary file here.
    if (!IsPrint()) RemoveStaleTemporaries(job_.outputFolder);
    if (!IsPrint()) ui_.showProgress(0, count_);
    return true;
}

// True when a document can be made: a working document is there (and, for the office's, the
// office answers). Otherwise the run stops here; the closing message says so.
bool MergeRun::DocumentReady() {
    if (route_ == word::Route::Office && !host_.IsWordRunning()) {
        outcome_.officeLost = true;
        return false;
    }
    // The template could not be opened again (moved or deleted during the run): every further
    // row would fill nothing and fail to save.
    if (!host_.IsDocumentOpen()) {
        outcome_.templateLost = true;
        return false;
    }
    return true;
}

bool MergeRun::Stopping() {
    if (!ui_.stopRequested()) return false;
    outcome_.stopped = true;
    return true;
}

// Writes the value of column `column` into `bookmark`, or into its copies "_c1", "_c2", … in
// repeat mode. True when at least one bookmark was filled.
bool MergeRun::FillField(std::size_t column, const std::string& bookmark) {
    const int field = columns_[column];
    const std::string value = field >= 0 ? cursor_->fieldValue(field) : std::string();
    if (!job_.repeatMode) return host_.SetBookmarkText(bookmark, value);
    bool filled = false;
    for (int n = 1;; ++n) {
        const std::string copy = bookmark + "_c" + IntToText(n);
        if (!host_.BookmarkExists(copy)) break;
        if (host_.SetBookmarkText(copy, value)) filled = true;
    }
    return filled;
}

// Saves or prints the filled working document as number `number` (rows firstRow..lastRow), then
// makes a fresh working document from the template. False when the run cannot go on.
bool MergeRun::FinishDocument(int number, int progress, int firstRow, int lastRow) {
    bool made = false;
    NoteBookmarksLeft(number);
    if (IsPrint()) {
        // Each job is called after the document it prints.
        const std::string job = StripExtension(NameOfPath(job_.request.templatePath)) + IntToText(number);
        made = host_.PrintDocument(job);
        host_.CloseDocument();
    } else {
        const std::string fileName = OutputFileName(number);
        const word::SaveResult saved = host_.SaveDocumentAs(fileName);
        host_.CloseDocument();
        made = saved.ok;
        if (made && combined_)
            combined_->Add(fileName);
        else if (made)
            outcome_.files.push_back(fileName);
        if (saved.diskFull) outcome_.diskFull = true;
        ui_.setProgress(progress);
    }
    if (made) {
        ++outcome_.documentsMade;
        for (int row = firstRow; row <= lastRow; ++row) outcome_.rowsMade.push_back(row);
    } else {
        outcome_.failedNumbers.push_back(number);
    }
    // A full disk takes every later document too.
    if (outcome_.diskFull) return false;
    // Re-opening the template would start a new office if this one died; stop instead.
    if (route_ == word::Route::Office && !host_.IsWordRunning()) {
        outcome_.officeLost = true;
        return false;
    }
    host_.OpenTemplate(job_.request.templatePath, route_);
    return true;
}

// Notes the bookmarks the working document leaves as in the template, before it is closed.
void MergeRun::NoteBookmarksLeft(int number) {
    for (const engine::Skip& skip : host_.BookmarksLeft()) {
        const std::string why = LeftReason(skip);
        auto it = std::find_if(outcome_.bookmarksLeft.begin(), outcome_.bookmarksLeft.end(),
                               [&](const BookmarkLeft& b) { return b.name == skip.name && b.why == why; });
        if (it == outcome_.bookmarksLeft.end())
            it = outcome_.bookmarksLeft.insert(outcome_.bookmarksLeft.end(),
                                               BookmarkLeft{skip.name, why, skip.why, {}});
        it->where.push_back(number);
    }
}

void MergeRun::NoBookmarkFilled() {
    outcome_.nothingMatched = true;
    ui_.showMessage(kNoBookmarkFilled);
}

void MergeRun::BeginDocument() {
    documentValue_ = nameField_ >= 0 ? cursor_->fieldValue(nameField_) : std::string();
}

std::string MergeRun::OutputFileName(int number) {
    ++ordinal_;
    if (combined_) return combined_->PartPath(ordinal_);
    if (namer_) return job_.outputFolder + namer_->Next(documentValue_, number);
    return job_.outputFolder + job_.referenceName + IntToText(number) + job_.request.extension;
}

// The one PDF is written only when it can hold every document of the range; a run that failed
// or was stopped part-way leaves the earlier file of its name alone.
void MergeRun::JoinDocuments() {
    if (!combined_) return;
    const bool whole = outcome_.documentsMade > 0 && outcome_.failedNumbers.empty() && !outcome_.officeLost &&
                       !outcome_.templateLost && !outcome_.diskFull && !outcome_.stopped;
    if (whole && combined_->Finish(joinError_)) {
        outcome_.files.push_back(combined_->target());
    } else if (!outcome_.nothingMatched) {
        outcome_.singleFileFailed = true;
        if (whole && LowOnSpace(job_.outputFolder, 256 * 1024)) outcome_.diskFull = true;
    }
    combined_.reset();
}

RunOutcome MergeRun::End() {
    JoinDocuments();
    if (!IsPrint()) ui_.hideProgress();
    cursor_.reset();
    // The office stays out of sight: coming up at the end of a run it would cover the window
    // and the closing question.
    const bool failed = !outcome_.failedNumbers.empty() || outcome_.officeLost || outcome_.templateLost ||
                        outcome_.diskFull || outcome_.stopped || outcome_.nothingMatched ||
                        outcome_.singleFileFailed;
    if (outcome_.documentsMade == 0) {
        // Nothing to open and nothing done: no "完成", only why. The no-match stop has said why.
        if (!outcome_.nothingMatched)
            ui_.showMessage(NothingMadeText(), kDefaultCaption, MessageIcon::Warning);
    } else if (!IsPrint()) {
        const std::string left = BookmarksLeftText(outcome_.bookmarksLeft, job_.multiRowMode);
        const bool open = failed         ? ui_.askYesNo(FailureText(), kDefaultCaption, MessageIcon::Warning)
                          : left.empty() ? ui_.askYesNo(kSaveDone, kDefaultCaption, MessageIcon::Question)
                                         : ui_.askYesNo("完成！\r\n" + left + "是否打开存放文档所在文件夹？",
                                                        kDefaultCaption, MessageIcon::Warning);
        if (open) ui_.openFolder(job_.outputFolder);
    } else if (failed) {
        ui_.showMessage(FailureText(), kDefaultCaption, MessageIcon::Warning);
    } else if (const std::string left = BookmarksLeftText(outcome_.bookmarksLeft, job_.multiRowMode);
               !left.empty()) {
        ui_.showMessage(std::string(kPrintDone) + "\r\n" + left.substr(0, left.size() - 2), kDefaultCaption,
                        MessageIcon::Warning);
    } else {
        ui_.showMessage(kPrintDone);
    }
    if (IsPrint()) ui_.showMainWindow();
    return outcome_;
}

std::string MergeRun::NothingMadeText() const {
    std::string text = IsPrint() ? "没有打印任何文档：" : "没有生成任何文档：";
    if (outcome_.stopped) {
        text += "已按要求停止。";
    } else if (outcome_.diskFull) {
        text += "磁盘已满。";
    } else if (outcome_.officeLost) {
        text += "Word程序已停止运行。";
    } else if (outcome_.templateLost) {
        text += "Word模板无法打开。";
    } else if (!outcome_.failedNumbers.empty()) {
        text += IsPrint() ? "打印失败的编号：" : "保存失败的编号：";
        for (std::size_t i = 0; i < outcome_.failedNumbers.size(); ++i) {
            if (i) text += "、";
            text += IntToText(outcome_.failedNumbers[i]);
        }
        text += "。";
    } else {
        text += "范围内没有记录。";
    }
    return text;
}

std::string MergeRun::FailureText() const {
    if (job_.request.singleFile && !IsPrint()) return SingleFileFailureText();
    std::string text = IsPrint() ? "打印未能全部完成：已发送 " : "完成，但有文档未能生成：已生成 ";
    text += IntToText(outcome_.documentsMade);
    text += " 个";
    if (!outcome_.failedNumbers.empty()) {
        text += "，失败的编号：";
        for (std::size_t i = 0; i < outcome_.failedNumbers.size(); ++i) {
            if (i) text += "、";
            text += IntToText(outcome_.failedNumbers[i]);
        }
    }
    text += "。";
    const std::string later = IsPrint() ? "其后的文档没有打印。" : "其后的文档没有生成。";
    if (outcome_.diskFull) text += "磁盘已满，" + later;
    if (outcome_.stopped) text += "已按要求停止，" + later;
    // A run cut short names the rows that got no document, so they can be made again.
    if ((outcome_.diskFull || outcome_.stopped) && outcome_.firstRow > 0) {
        std::vector<int> missing;
        for (int row = outcome_.firstRow; row <= outcome_.lastRow; ++row)
            if (!std::binary_search(outcome_.rowsMade.begin(), outcome_.rowsMade.end(), row))
                missing.push_back(row);
        const std::string rows = JoinNumbers(missing, "、");
        if (!rows.empty()) text += "没有文档的行：" + rows + "。";
    }
    if (outcome_.officeLost) text += "Word程序已停止运行，" + later;
    if (outcome_.templateLost) text += "Word模板无法打开，" + later;
    if (outcome_.nothingMatched) text += "Word模板中没有可填写的书签，" + later;
    if (!outcome_.bookmarksLeft.empty())
        text += "\r\n" + BookmarksLeftText(outcome_.bookmarksLeft, job_.multiRowMode);
    if (!IsPrint()) text += "是否打开存放文档所在文件夹？";
    return text;
}

std::string MergeRun::SingleFileFailureText() const {
    std::string text = "未能生成合并的PDF文件“" + job_.referenceName + ".pdf”，原有的同名文件保持不变。";
    if (!outcome_.failedNumbers.empty()) {
        text += "编号为 ";
        for (std::size_t i = 0; i < outcome_.failedNumbers.size(); ++i) {
            if (i) text += "、";
            text += IntToText(outcome_.failedNumbers[i]);
        }
        text += " 的文档未能生成。";
    }
    if (outcome_.diskFull) text += "磁盘已满。";
    if (outcome_.stopped) text += "已按要求停止。";
    if (outcome_.officeLost) text += "Word程序已停止运行。";
    if (outcome_.templateLost) text += "Word模板无法打开。";
    if (!joinError_.empty()) text += "合并时出错（" + joinError_ + "）。";
    text += "是否打开存放文档所在文件夹？";
    return text;
}

void MergeRun::RunSingleRowMerge() {
    bool nothingFilled = true;
    for (int i = 1; i <= count_; ++i) {
        if (cursor_->eof()) break;
        if (Stopping()) break;
        if (!DocumentReady()) break;
        BeginDocument();
        for (std::size_t c = 0; c < job_.titles.size(); ++c) {
            ui_.processEvents();
            if (FillField(c, job_.titles[c])) nothingFilled = false;
        }
        if (nothingFilled) {
            // A working document that went while filling is not a template without bookmarks.
            if (DocumentReady()) NoBookmarkFilled();
            break;
        }
        cursor_->moveNext();
        const int row = start_ + i - 1;
        if (!FinishDocument(row, i, row, row)) break;
    }
}

void MergeRun::RunMultiRowMerge() {
    int i = 1;
    int documents = 0;
    while (i <= count_) {
        if (Stopping()) break;
        if (!DocumentReady()) break;
        const int firstRow = start_ + i - 1;
        BeginDocument();
        int k = 0;
        bool documentEmpty = true;
        while (true) {
            if (cursor_->eof()) break;
            bool rowFilled = false;
            ++k;
            for (std::size_t c = 0; c < job_.titles.size(); ++c) {
                ui_.processEvents();
                if (FillField(c, job_.titles[c] + "_" + IntToText(k))) {
                    rowFilled = true;
                    documentEmpty = false;
                }
            }
            if (documentEmpty) break;
            // No bookmark for slot k: this row opens the next document.
            if (!rowFilled) break;
            cursor_->moveNext();
            ++i;
            if (i > count_) break;
        }
        if (documentEmpty) {
            if (DocumentReady()) NoBookmarkFilled();
            break;
        }
        ++documents;
        // The bar shows the rows placed so far, which never passes its maximum.
        if (!FinishDocument(documents, i - 1, firstRow, start_ + i - 2)) break;
        if (cursor_->eof()) break;
    }
}

RunOutcome RunMerge(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request) {
    RunGuard guard(state);
    if (!guard.owns()) return {};
    MergeJob job;
    job.request = request;
    job.connection = state.sheetConnection;
    for (const std::string& title : SplitList(state.matchedTitles))
        if (std::find(job.titles.begin(), job.titles.end(), title) == job.titles.end())
            job.titles.push_back(title);
    job.bookmarks = SplitList(state.templateBookmarks);
    job.multiRowMode = state.multiRowMode;
    job.repeatMode = state.repeatMode;
    job.valueStyle = state.valueStyle;
    job.outputFolder = state.outputFolder;
    job.referenceName = state.referenceName;
    state.sheetQuery = MergeQuery(state.matchedTitles, request.sheetName);
    MergeRun run(std::move(job), &state.workbooks, host, ui);
    return run.Execute();
}

}  // namespace qm
