// What the window checks before a run is asked for, and the question before a print run.

#include <QComboBox>
#include <QPrinterInfo>

#include "app/core/settings.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/note_combo.h"
#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "app/gui/window_texts.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/cursor.h"
#include "merge/matching.h"
#include "merge/program_state.h"
#include "merge/range_check.h"
#include "word/word_host.h"

namespace qm::gui {

bool MainWindow::CheckRunRequest(int& start, int& end) {
    ProgramState& state = ctx_.state;
    auto refuse = [this](const std::string& text) {
        ctx_.dialogs.message(text, "", Buttons::Ok, MessageIcon::None);
        return false;
    };
    const int workbook = workbookCombo_->currentIndex();
    if (workbook < 0 || workbook == workbookCombo_->count() - 1) return refuse("请先选择Excel数据文件！");
    // The file may have changed or gone since it was chosen.
    const std::string problem = data::WorkbookProblem(state.sheetConnection, &state.workbooks);
    if (!problem.empty()) return refuse(WorkbookProblemText(FromQ(workbookCombo_->currentText()), problem));
    if (sheetCombo_->currentIndex() < 0) return refuse("请先选择工作表！");
    const std::string sheet = FromQ(sheetCombo_->currentText());
    std::unique_ptr<data::Cursor> cursor = data::OpenSheet(state.sheetConnection, sheet, &state.workbooks);
    if (!cursor) return refuse("无法读取工作表“" + SheetDisplayName(sheet) + "”。");
    const int records = TruncToInt(static_cast<double>(cursor->recordCount()));
    cursor.reset();

    const CheckedRange range = CheckRowRange(modeCombo_->currentIndex(), FromQ(startBox_->boxText()),
                                             FromQ(endBox_->boxText()), state.recordsPerPage, records, sheet);
    if (!range) return refuse(range.problem);

    if (!TemplateChosen()) return refuse("请先选择Word模板！");
    // The working document may have gone with the office's window: it is made again here, so
    // that the template's bookmarks, not a closed document's none, decide the matching.
    const std::string templatePath = ctx_.settings.GetWordPath() + CurrentTemplateItem();
    if (ctx_.host.CurrentTemplatePath() != templatePath || !ctx_.host.IsDocumentOpen()) {
        if (ctx_.host.OpenTemplate(templatePath).empty())
            return refuse("无法打开Word模板“" + CurrentTemplateItem() +
                          "”：文件无法读取，或者不是Word文档。");
        state.templateBookmarks = ctx_.host.ListBookmarks();
        MatchTitles(state);
    }
    if (!CheckRunPreconditions()) return false;
    start = range.start;
    end = range.end;
    return true;
}

int MainWindow::DocumentCount(int start, int end) const {
    const ProgramState& state = ctx_.state;
    if (!state.multiRowMode) return end - start + 1;
    const int slotCount = SlotsPerDocument(state.matchedTitles, state.templateBookmarks, state.repeatMode);
    return MultiRowDocumentCount(start, end, end, slotCount);
}

bool MainWindow::ConfirmPrintRun(int documents) {
    const std::string printer = printerSource_ ? printerSource_() : FromQ(QPrinterInfo::defaultPrinterName());
    if (printer.empty()) {
        ctx_.dialogs.message(
            "没有找到默认打印机，无法打印。请先在系统的打印机设置中添加打印机，并把它设为默认打印机。", "",
            Buttons::Ok, MessageIcon::Warning);
        return false;
    }
    const std::string text =
        "将打印 " + IntToText(documents) + " 份文档，打印机：“" + printer + "”。\r\n是否开始打印？";
    return ctx_.dialogs.message(text, "打印确认", Buttons::YesNo, MessageIcon::Question) == Answer::Yes;
}

}  // namespace qm::gui
