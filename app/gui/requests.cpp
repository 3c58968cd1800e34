// The two merge requests of the run buttons: checks, the row range, the output folder and
// reference name of a save run with its confirmation, and the hand-over to the run.

#include <QCheckBox>
#include <QComboBox>
#include <QList>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <filesystem>
#include <system_error>

#include "app/core/settings.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/link_label.h"
#include "app/gui/links.h"
#include "app/gui/main_window.h"
#include "app/gui/note_combo.h"
#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "app/gui/window_run_ui.h"
#include "common/fs.h"
#include "common/text.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "merge/request.h"

namespace qm::gui {

namespace {
const char* const kNoMatchStart =
    "当前选择的Excel工作表中的所有列标题在当前选中的Word模板文件中均没有对应的同名书签，当前操作不能继续！"
    "您可以通过帮助或加入QQ群";
// Disables the window's input controls while a run goes. The run lets window events through,
// and a page load or a file choice in the middle of it would reopen the recordset the run
// reads its rows from, or replace the working document it fills.
class InputsDisabled {
  public:
    explicit InputsDisabled(const QList<QWidget*>& widgets) {
        for (QWidget* widget : widgets) {
            if (widget && widget->isEnabled()) {
                widget->setEnabled(false);
                disabled_.append(widget);
            }
        }
    }
    ~InputsDisabled() {
        for (const QPointer<QWidget>& widget : disabled_)
            if (widget) widget->setEnabled(true);
    }
    InputsDisabled(const InputsDisabled&) = delete;
    InputsDisabled& operator=(const InputsDisabled&) = delete;

  private:
    QList<QPointer<QWidget>> disabled_;
};

bool SameFolder(const std::string& first, const std::string& second) {
    std::error_code error;
    const bool same =
        std::filesystem::equivalent(std::filesystem::u8path(first), std::filesystem::u8path(second), error);
    return same && !error;
}

}  // namespace

QList<QWidget*> MainWindow::RunInputs() const {
    return {workbookCombo_, sheetCombo_, templateCombo_, repeatBox_,   multiRowBox_,   pageSizeCombo_,
            startBox_,      endBox_,     modeCombo_,     firstLabel_,  previousLabel_, nextLabel_,
            lastLabel_,     pageCombo_,  saveButton_,    printButton_, menuBar()};
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

bool MainWindow::CheckRunPreconditions() {
    if (!TemplateChosen()) {
        ctx_.dialogs.message("请先选择Word模板！", "", Buttons::Ok, MessageIcon::None);
        return false;
    }
    if (ctx_.state.matchedTitles.empty()) {
        ctx_.dialogs.message(std::string(kNoMatchStart) + std::string(kSupportGroupNumber) + "获取更多支持。",
                             "", Buttons::Ok, MessageIcon::None);
        return false;
    }
    return true;
}

void MainWindow::RequestPrintRun() {
    ProgramState& state = ctx_.state;
    if (state.runInProgress) return;
    int start = 0, end = 0;
    if (!CheckRunRequest(start, end)) return;
    if (!ConfirmEmptyBookmarks()) return;
    if (!ConfirmPrintRun(DocumentCount(start, end))) return;
    runUi_->hideMainWindow();
    RunRequest request;
    request.start = start;
    request.end = end;
    request.kind = OutputKind::Print;
    request.sheetName = FromQ(sheetCombo_->currentText());
    request.templatePath = ctx_.settings.GetWordPath() + CurrentTemplateItem();
    {
        const InputsDisabled locked(RunInputs());
        runUi_->resetStop();
        RunMerge(state, ctx_.host, *runUi_, request);
    }
    // The window comes back however the request ended.
    runUi_->showMainWindow();
    AfterRun();
}

void MainWindow::RequestSaveRun() {
    ProgramState& state = ctx_.state;
    if (state.runInProgress) return;
    // Everything that can be wrong is said before the save dialog; the end is already cut to
    // the last record, so the confirmation names only files the run writes.
    int start = 0, end = 0;
    if (!CheckRunRequest(start, end)) return;
    if (!ConfirmEmptyBookmarks()) return;

    // Multi-row runs number their files by document, so the confirmation does the same.
    std::string firstNumber = IntToText(start);
    std::string lastNumber = IntToText(end);
    if (state.multiRowMode) {
        firstNumber = "1";
        lastNumber = IntToText(DocumentCount(start, end));
    }

    const std::string templateItem = CurrentTemplateItem();
    const std::string templateBase = StripExtension(templateItem);
    const std::string proposedFolder = ProposedOutputFolder(state.programFolder, templateItem);
    state.outputFolder = proposedFolder;
    if (!DirectoryExists(proposedFolder)) MakeDirectory(proposedFolder);

    RunRequest request;
    request.start = start;
    request.end = end;
    request.kind = OutputKind::Save;
    request.sheetName = FromQ(sheetCombo_->currentText());
    request.templatePath = ctx_.settings.GetWordPath() + templateItem;
    std::string chosenFolder;
    if (!AskOutputNaming(request, proposedFolder, templateBase, firstNumber, lastNumber, chosenFolder))
        return;
    if (chosenFolder != state.outputFolder) {
        // The proposed folder may hold documents of earlier runs, or even the chosen folder:
        // it goes only when it is empty, and never when the chosen folder is the same one
        // written another way ("./", a link), which the run is about to fill.
        if (!SameFolder(chosenFolder, state.outputFolder)) RemoveEmptyDirectory(state.outputFolder);
        state.outputFolder = chosenFolder;
    }

    {
        const InputsDisabled locked(RunInputs());
        runUi_->resetStop();
        RunMerge(state, ctx_.host, *runUi_, request);
    }
    AfterRun();
}

}  // namespace qm::gui
