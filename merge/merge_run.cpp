#include "merge/merge_run.h"

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/recordset.h"
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

// The frame both modes share: preparation, finishing a document and the end of the run.
class Run {
  public:
    Run(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request)
        : state_(state), host_(host), ui_(ui), request_(request), rs_(*state.sheetRecordset) {
        outcome_.started = true;
    }

    // Opens the matched columns and moves to the first row. False when the range starts past
    // the last record: the run then ends without a word.
    bool Prepare() {
        state_.sheetQuery = MergeQuery(state_.matchedTitles, request_.sheetName);
        start_ = request_.start < 1 ? 1 : request_.start;
        rs_.open(state_.sheetQuery, state_.sheetConnection, 1, 3);
        const int n = data::GetRecordCount(rs_);
        if (n < start_) {
            rs_.close();
            if (IsPrint()) ui_.showMainWindow();  // the print request hid it
            return false;
        }
        const int end = request_.end < 1 ? n : request_.end;
        rs_.move(static_cast<double>(start_ - 1));
        count_ = TruncToInt(static_cast<double>(end) - start_ + 1);
        if (!IsPrint()) ui_.showProgress(0, count_);
        return true;
    }

    // True when a document can be made: the office answers and holds a working document.
    // Otherwise the run stops here; the closing message says so.
    bool OfficeReady() {
        if (!host_.IsWordRunning()) {
            outcome_.officeLost = true;
            return false;
        }
        // The office answers, but the template could not be opened again (moved or deleted
        // during the run): every further row would fill nothing and fail to save.
        if (host_.CurrentDocumentName().empty()) {
            outcome_.templateLost = true;
            return false;
        }
        return true;
    }

    // Writes the value of field `title` into `bookmark`, or into its copies "_c1", "_c2", …
    // in repeat mode. True when at least one bookmark was filled.
    bool FillField(const std::string& title, const std::string& bookmark) {
        if (!state_.repeatMode) return host_.SetBookmarkText(bookmark, data::GetFieldValue(rs_, title));
        bool filled = false;
        for (int n = 1;; ++n) {
            const std::string value = data::GetFieldValue(rs_, title);
            if (!host_.SetBookmarkText(bookmark + "_c" + IntToText(n), value)) break;
            filled = true;
        }
        return filled;
    }

    // Saves or prints the filled working document as number `number`, then makes a fresh
    // working document from the template. False when the office has gone.
    bool FinishDocument(int number, int progress) {
        if (IsPrint()) {
            std::string name;
            const bool printed = host_.PrintDocument(name);
            name.clear();
            host_.CloseDocument(name);
            if (printed) {
                ++outcome_.documentsMade;
            } else {
                outcome_.failedNumbers.push_back(number);
            }
        } else {
            std::string fileName =
                state_.outputFolder + state_.referenceName + IntToText(number) + request_.extension;
            const bool saved = host_.SaveDocumentAs(fileName) && FileExists(fileName);
            host_.CloseDocument(fileName);
            if (saved) {
                ++outcome_.documentsMade;
                outcome_.files.push_back(fileName);
            } else {
                outcome_.failedNumbers.push_back(number);
            }
            ui_.setProgress(progress);
        }
        // Re-opening the template would start a new office if this one died; stop instead.
        if (!host_.IsWordRunning()) {
            outcome_.officeLost = true;
            return false;
        }
        host_.OpenTemplate(request_.templatePath);
        return true;
    }

    void NoBookmarkFilled() {
        outcome_.nothingMatched = true;
        ui_.showMessage(kNoBookmarkFilled);
    }

    RunOutcome End() {
        if (!IsPrint()) ui_.hideProgress();
        rs_.close();
        host_.ShowWord();
        const bool failed = !outcome_.failedNumbers.empty() || outcome_.officeLost || outcome_.templateLost;
        if (!IsPrint()) {
            const bool open = failed ? ui_.askYesNo(FailureText(), kDefaultCaption, MessageIcon::Warning)
                                     : ui_.askYesNo(kSaveDone, kDefaultCaption, MessageIcon::Question);
            if (open) ui_.openFolder(state_.outputFolder);
        } else {
            if (failed) {
                ui_.showMessage(FailureText(), kDefaultCaption, MessageIcon::Warning);
            } else {
                ui_.showMessage(kPrintDone);
            }
            ui_.showMainWindow();
        }
        return outcome_;
    }

    RunOutcome EndedEarly() { return outcome_; }

    bool IsPrint() const { return request_.kind == OutputKind::Print; }
    int count() const { return count_; }
    int start() const { return start_; }
    data::Recordset& rs() { return rs_; }
    RunUi& ui() { return ui_; }

  private:
    std::string FailureText() const {
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
        if (outcome_.officeLost) {
            text += IsPrint() ? "Word程序已停止运行，其后的文档没有打印。"
                              : "Word程序已停止运行，其后的文档没有生成。";
        }
        if (outcome_.templateLost) {
            text += IsPrint() ? "Word模板无法打开，其后的文档没有打印。"
                              : "Word模板无法打开，其后的文档没有生成。";
        }
        if (!IsPrint()) text += "是否打开存放文档所在文件夹？";
        return text;
    }

    ProgramState& state_;
    word::WordHost& host_;
    RunUi& ui_;
    const RunRequest& request_;
    data::Recordset& rs_;
    RunOutcome outcome_;
    int start_ = 1;
    int count_ = 0;
};

RunOutcome SingleRow(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request) {
    Run run(state, host, ui, request);
    if (!run.Prepare()) return run.EndedEarly();
    data::Recordset& rs = run.rs();
    bool nothingFilled = true;
    for (int i = 1; i <= run.count(); ++i) {
        if (rs.eof()) break;
        if (!run.OfficeReady()) break;
        const int fields = data::GetFieldCount(rs);
        for (int j = 1; j <= fields; ++j) {
            ui.processEvents();
            const std::string title = data::GetFieldName(rs, j - 1);
            if (run.FillField(title, title)) nothingFilled = false;
        }
        if (nothingFilled) {
            // An office that died while filling is not a template without bookmarks.
            if (run.OfficeReady()) run.NoBookmarkFilled();
            break;
        }
        rs.moveNext();
        if (!run.FinishDocument(run.start() + i - 1, i)) break;
    }
    return run.End();
}

RunOutcome MultiRow(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request) {
    Run run(state, host, ui, request);
    if (!run.Prepare()) return run.EndedEarly();
    data::Recordset& rs = run.rs();
    const int count = run.count();
    int i = 1;
    int documents = 0;
    while (i <= count) {
        if (!run.OfficeReady()) break;
        int k = 0;
        bool documentEmpty = true;
        while (true) {
            if (rs.eof()) break;
            bool rowFilled = false;
            ++k;
            const int fields = data::GetFieldCount(rs);
            for (int j = 1; j <= fields; ++j) {
                ui.processEvents();
                const std::string title = data::GetFieldName(rs, j - 1);
                if (run.FillField(title, title + "_" + IntToText(k))) {
                    rowFilled = true;
                    documentEmpty = false;
                }
            }
            if (documentEmpty) break;
            // No bookmark for slot k: this row opens the next document.
            if (!rowFilled) break;
            rs.moveNext();
            ++i;
            if (i > count) break;
        }
        if (documentEmpty) {
            if (run.OfficeReady()) run.NoBookmarkFilled();
            break;
        }
        ++documents;
        // The bar shows the rows placed so far, which never passes its maximum.
        if (!run.FinishDocument(documents, i - 1)) break;
        if (rs.eof()) break;
    }
    return run.End();
}

}  // namespace

std::string MergeQuery(std::string_view matchedTitles, std::string_view sheetName) {
    std::string query = "select ";
    query += ReplaceAll(matchedTitles, kListSeparator, ",");
    query += " from [";
    query += sheetName;
    query += "]";
    return query;
}

RunOutcome RunMerge(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request) {
    RunGuard guard(state);
    if (!guard.owns()) return {};
    return state.multiRowMode ? MultiRow(state, host, ui, request) : SingleRow(state, host, ui, request);
}

RunOutcome RunSingleRowMerge(ProgramState& state, word::WordHost& host, RunUi& ui,
                             const RunRequest& request) {
    RunGuard guard(state);
    if (!guard.owns()) return {};
    return SingleRow(state, host, ui, request);
}

RunOutcome RunMultiRowMerge(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request) {
    RunGuard guard(state);
    if (!guard.owns()) return {};
    return MultiRow(state, host, ui, request);
}

}  // namespace qm
