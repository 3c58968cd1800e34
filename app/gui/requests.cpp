// The two merge requests of the run buttons: the planner checks them and works out the run, the
// window asks what only the user can say (the file type, the names, agreement), and the run goes
// on the run thread while the window stays live.

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QList>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <filesystem>
#include <system_error>

#include "app/core/run_messages.h"
#include "app/core/settings.h"
#include "app/core/template_messages.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/inputs_disabled.h"
#include "app/gui/link_label.h"
#include "app/gui/links.h"
#include "app/gui/main_window.h"
#include "app/gui/note_combo.h"
#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "app/gui/run_worker.h"
#include "app/gui/window_texts.h"
#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "merge/range_check.h"
#include "merge/request.h"
#include "merge/run_plan.h"
#include "word/engine/template.h"
#include "word/word_host.h"

namespace qm::gui {

namespace {
const char* const kNoMatchStart =
    "当前选择的Excel工作表中的所有列标题在当前选中的Word模板文件中均没有对应的同名书签，当前操作不能继续！"
    "您可以通过帮助或加入QQ群";

bool SameFolder(const std::string& first, const std::string& second) {
    std::error_code error;
    const bool same =
        std::filesystem::equivalent(std::filesystem::u8path(first), std::filesystem::u8path(second), error);
    return same && !error;
}

}  // namespace

QList<QWidget*> MainWindow::RunInputs() const {
    return {workbookCombo_, sheetCombo_,        templateCombo_, repeatBox_,
            multiRowBox_,   pageSizeCombo_,     startBox_,      endBox_,
            modeCombo_,     filterColumn_,      filterTest_,    filterValue_,
            filterButton_,  clearFilterButton_, previewButton_, menuBar()};
}

std::string MainWindow::CurrentTemplateItem() const {
    return FromQ(templateCombo_->currentText());
}

// The browse item is no template: after a cancelled browse it stays current, and a run would
// then make its second and later documents from a file that does not exist.
bool MainWindow::TemplateChosen() const {
    const int index = templateCombo_->currentIndex();
    return index >= 0 && index != templateCombo_->count() - 1;
}

bool MainWindow::RefuseWhileRunning() {
    if (!RunGoing()) return false;
    ctx_.dialogs.message("正在生成文档，请等当前的运行结束后再开始新的运行。", "", Buttons::Ok,
                         MessageIcon::Information);
    return true;
}

bool MainWindow::PlanRun(RunPlanner& planner, bool range) {
    ProgramState& state = ctx_.state;
    auto refuse = [this](const std::string& text) {
        ctx_.dialogs.message(text, "", Buttons::Ok, MessageIcon::None);
        return false;
    };
    // A file that cannot be read is told as when it was chosen: with the warning icon.
    auto unreadable = [this](const std::string& text) {
        ctx_.dialogs.message(text, "", Buttons::Ok, MessageIcon::Warning);
        return false;
    };
    const int workbook = workbookCombo_->currentIndex();
    if (workbook < 0 || workbook == workbookCombo_->count() - 1) return refuse("请先选择Excel数据文件！");
    if (sheetCombo_->currentIndex() < 0) {
        // The file may have changed or gone since it was chosen: that is said first.
        const std::string problem = data::WorkbookProblemAt(state.workbookPath, &state.workbooks);
        if (!problem.empty())
            return unreadable(WorkbookProblemText(FromQ(workbookCombo_->currentText()), problem));
        return refuse("请先选择工作表！");
    }
    RunChoice choice;
    choice.workbookPath = state.workbookPath;
    choice.table = FromQ(sheetCombo_->currentText());
    choice.templatePath =
        TemplateChosen() ? ctx_.settings.GetWordPath() + CurrentTemplateItem() : std::string();
    choice.multiRowMode = state.multiRowMode;
    choice.repeatMode = state.repeatMode;
    choice.valueStyle = state.valueStyle;
    choice.filters = state.filters;
    choice.pictureColumns = PictureColumns();
    if (const auto problem = planner.OpenSheet(choice)) {
        if (problem->kind == PlanProblemKind::FilterProblem)
            return unreadable(FilterProblemText(problem->filterProblem, problem->detail));
        if (problem->kind == PlanProblemKind::NoRowMatches) return refuse(NoRowMatchesText(state.filters));
        if (problem->kind == PlanProblemKind::WorkbookUnreadable)
            return unreadable(WorkbookProblemText(FromQ(workbookCombo_->currentText()), problem->detail));
        return unreadable("无法读取工作表“" + SheetDisplayName(choice.table) + "”。");
    }
    if (const auto problem =
            !range ? std::nullopt
                   : planner.SetRangeTexts(modeCombo_->currentIndex(), FromQ(startBox_->boxText()),
                                           FromQ(endBox_->boxText()), state.recordsPerPage))
        return refuse(problem->detail);
    if (!TemplateChosen()) return refuse("请先选择Word模板！");
    if (const auto problem = planner.OpenTemplate()) {
        templateProblem_ = TemplateProblemText(CurrentTemplateItem(), problem->detail,
                                               problem->kind == PlanProblemKind::OfficeUnavailable);
        UpdateMatchLine();
        return unreadable(templateProblem_);
    }
    templateProblem_.clear();
    // The window's own view follows what the run will use.
    state.columnTitles = planner.titles();
    state.templateBookmarks = planner.bookmarks();
    state.templateUnfillable = ctx_.host.UnfillableBookmarks();
    MatchTitles(state);
    UpdateMatchLine();
    if (planner.matchedTitles().empty())
        return refuse(std::string(kNoMatchStart) + std::string(kSupportGroupNumber) + "获取更多支持。");
    return true;
}

void MainWindow::RequestPrintRun() {
    if (RefuseWhileRunning()) return;
    RunPlanner planner(ctx_.state.workbooks, ctx_.host);
    if (!PlanRun(planner)) return;
    if (!ConfirmEmptyBookmarks(planner.Report())) return;
    // Printing goes through the office: its processes start while the user confirms.
    ctx_.host.StartConvertingOffices();
    if (!ConfirmPrintRun(planner.DocumentCount())) return;
    RunOutput output;
    output.kind = OutputKind::Print;
    StartRun(planner.TakeJob(output));
}

void MainWindow::RequestSaveRun() {
    if (RefuseWhileRunning()) return;
    ProgramState& state = ctx_.state;
    // Everything that can be wrong is said before the save dialog; the end is already cut to
    // the last record, so the confirmation names only files the run writes.
    RunPlanner planner(state.workbooks, ctx_.host);
    if (!PlanRun(planner)) return;
    if (!ConfirmEmptyBookmarks(planner.Report())) return;

    const std::string templateItem = CurrentTemplateItem();
    // The folder below which the user last saved, or 用户文档/; named after the template. It is
    // made only when the user has confirmed the names, so a cancelled dialog leaves nothing.
    std::string proposedFolder = ctx_.settings.GetUserDocPath() + StripExtension(templateItem) + "/";
    if (!DirectoryExists(ctx_.settings.GetUserDocPath()))
        proposedFolder = ProposedOutputFolder(state.programFolder, templateItem);
    state.outputFolder = proposedFolder;

    RunOutput output;
    std::string chosenFolder;
    if (!AskOutputNaming(planner, output, proposedFolder, StripExtension(templateItem), chosenFolder)) return;
    // The folder the user confirmed, with any folder above it that is still missing.
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::u8path(chosenFolder), made);
    // The same folder written another way ("./", a link) is still the proposed one.
    if (chosenFolder != state.outputFolder && !SameFolder(chosenFolder, state.outputFolder))
        ctx_.settings.SetUserDocPath(FolderToRemember(chosenFolder, StripExtension(templateItem)));
    state.outputFolder = chosenFolder;
    output.folder = state.outputFolder;
    output.referenceName = state.referenceName;
    StartRun(planner.TakeJob(output));
}

void MainWindow::StartRun(MergeJob job) {
    const bool print = job.request.kind == OutputKind::Print;
    ctx_.state.sheetQuery = MergeQuery(ctx_.state.matchedTitles, job.request.sheetName);
    inputsLocked_ = std::make_unique<InputsDisabled>(RunInputs());
    runGoing_ = true;
    runPrint_ = print;
    if (print) {
        hide();
    } else {
        progress_->setRange(0, 1);
        progress_->setValue(0);
        progress_->setFormat(QStringLiteral("正在准备……"));
        progress_->show();
        progress_->raise();
        stopButton_->setText(QStringLiteral("停止(Esc)"));
        stopButton_->setEnabled(true);
        stopButton_->show();
        stopButton_->raise();
    }
    runClock_.start();
    worker_->setLockStep(static_cast<bool>(progressObserver_));
    word::WordHost& host = ctx_.host;
    worker_->start(
        [&host, job = std::move(job)](RunObserver& observer) mutable {
            MergeRun run(std::move(job), host, observer);
            return run.Execute();
        },
        [this](const RunProgress& now) { ShowRunProgress(now); },
        [this](const RunOutcome& o) { FinishRun(o); });
}

void MainWindow::ShowRunProgress(const RunProgress& now) {
    if (!runPrint_) {
        progress_->setRange(0, std::max(now.total, 1));
        progress_->setValue(std::min(now.done, std::max(now.total, 1)));
        progress_->setFormat(ToQ(ProgressText(now, runClock_.elapsed() / 1000.0, false)));
    }
    if (progressObserver_) progressObserver_(now.done);
}

void MainWindow::FinishRun(const RunOutcome& outcome) {
    progress_->hide();
    stopButton_->hide();
    inputsLocked_.reset();
    UpdateFilterColumns();
    // The window comes back before anything is said, however the request ended.
    if (runPrint_) {
        show();
        BringToFront();
    }
    for (const ClosingMessage& message : ClosingMessages(outcome)) {
        if (!message.asksToOpenFolder) {
            ctx_.dialogs.message(message.text, message.caption, Buttons::Ok, message.icon);
        } else if (ctx_.dialogs.message(message.text, message.caption, Buttons::YesNo, message.icon) ==
                   Answer::Yes) {
            OpenOnDesktop(outcome.outputFolder);
        }
    }
    runGoing_ = false;
    AfterRun();
}

bool MainWindow::RunGoing() const {
    return runGoing_;
}

}  // namespace qm::gui
