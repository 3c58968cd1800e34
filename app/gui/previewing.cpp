// The preview button and a double click on a grid row: the document that row will make, made
// on the run thread so the window keeps answering, and shown in a window of its own.

#include <QComboBox>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <filesystem>

#include "app/core/template_messages.h"
#include "app/gui/inputs_disabled.h"
#include "app/gui/main_window.h"
#include "app/gui/preview_window.h"
#include "app/gui/qt_text.h"
#include "app/gui/run_worker.h"
#include "app/gui/window_texts.h"
#include "common/text.h"
#include "merge/program_state.h"
#include "merge/range_check.h"
#include "merge/run_plan.h"
#include "word/word_host.h"

namespace qm::gui {
namespace {

// What a preview depends on besides its row; previews made for another key are stale.
std::string PreviewKey(const RunChoice& choice) {
    std::string key = choice.workbookPath + '\n' + choice.table + '\n' + choice.templatePath + '\n' +
                      (choice.multiRowMode ? "m" : "") + (choice.repeatMode ? "r" : "") +
                      (choice.valueStyle == data::ValueStyle::Shown ? "s" : "");
    for (const RowFilter& filter : choice.filters) key += '\n' + DescribeFilter(filter);
    for (const std::string& title : choice.pictureColumns) key += "\npicture " + title;
    // A file saved since: its previews are made again.
    for (const std::string& path : {choice.templatePath, choice.workbookPath}) {
        std::error_code error;
        const auto changed = std::filesystem::last_write_time(std::filesystem::u8path(path), error);
        key += '\n' + std::to_string(changed.time_since_epoch().count());
    }
    return key;
}

}  // namespace

void MainWindow::OnPreviewRequested(int row) {
    if (previewBusy_ || RefuseWhileRunning()) return;
    RunPlanner planner(ctx_.state.workbooks, ctx_.host);
    // The same checks as a run, said the same way.
    if (!PlanRun(planner, false)) return;
    if (row <= 0) {
        const QModelIndexList selected = grid_->selectionModel()->selectedIndexes();
        int gridRow = 0;
        if (!selected.isEmpty()) {
            gridRow = selected.front().row();
            for (const QModelIndex& index : selected) gridRow = std::min(gridRow, index.row());
        }
        row = (ctx_.state.currentPage - 1) * ctx_.state.recordsPerPage + gridRow + 1;
    }
    ShowPreviewOf(planner.choice(), std::clamp(row, 1, std::max(planner.recordCount(), 1)));
}

void MainWindow::ShowPreviewOf(const RunChoice& choice, int row) {
    previewChoice_ = choice;
    if (!previewWindow_) {
        // The row buttons ask for the neighbours within the choice of the latest preview.
        previewWindow_ = new PreviewWindow(
            [this](int next) {
                if (!RunGoing() && !previewBusy_) ShowPreviewOf(previewChoice_, next);
            },
            this);
        previewWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    previewWindow_->show();
    previewWindow_->raise();
    const std::string key = PreviewKey(choice);
    if (key != previewKey_) {
        previews_.clear();
        previewKey_ = key;
    }
    if (auto it = previews_.find(row); it != previews_.end()) {
        previewWindow_->showPreview(it->second);
        return;
    }
    if (!previewFolder_) previewFolder_ = std::make_unique<QTemporaryDir>();
    const std::string folder = FromQ(previewFolder_->path()) + "/" + IntToText(++previewsMade_);
    // Planned here, where the sheet and the template are read; made on the run thread. Until it
    // is made, nothing else may use the template: the run and preview buttons wait.
    auto job =
        std::make_shared<PreviewJob>(PlanPreview(choice, row, ctx_.state.workbooks, ctx_.host, folder));
    if (job->preview.problem) {
        previewWindow_->showProblem(row, job->preview.rowCount,
                                    ToQ(PreviewProblemText(*job->preview.problem)));
        return;
    }
    previewWindow_->showWaiting(row);
    previewBusy_ = true;
    // The run thread now uses the template and the office: the choices that would open another
    // template, or end the office, wait as they do during a run.
    inputsLocked_ = std::make_unique<InputsDisabled>(RunInputs());
    UpdateRunButtons();
    auto made = std::make_shared<Preview>();
    worker_->startTask([this, job, made] { *made = MakePreview(std::move(*job), ctx_.host); },
                       [this, key, made] {
                           previewBusy_ = false;
                           inputsLocked_.reset();
                           UpdateFilterColumns();
                           UpdateRunButtons();
                           if (key == previewKey_) previews_[made->row] = *made;
                           if (previewWindow_) previewWindow_->showPreview(*made);
                       });
}

std::string MainWindow::PreviewProblemText(const PlanProblem& problem) const {
    switch (problem.kind) {
        case PlanProblemKind::RangePastEnd:
            return "没有这条记录。";
        case PlanProblemKind::FilterProblem:
            return FilterProblemText(problem.filterProblem, problem.detail);
        case PlanProblemKind::NoRowMatches:
            return NoRowMatchesText(previewChoice_.filters);
        case PlanProblemKind::WorkbookUnreadable:
            return WorkbookProblemText(FromQ(workbookCombo_->currentText()), problem.detail);
        case PlanProblemKind::TemplateUnreadable:
        case PlanProblemKind::OfficeUnavailable:
            return TemplateProblemText(CurrentTemplateItem(), problem.detail,
                                       problem.kind == PlanProblemKind::OfficeUnavailable);
        case PlanProblemKind::NoTitleMatches:
        case PlanProblemKind::NothingFillable:
            return "当前Word模板没有与Excel数据表格标题相匹配的书签名称。";
        default:
            return "无法读取工作表“" + SheetDisplayName(previewChoice_.table) + "”。";
    }
}

}  // namespace qm::gui
