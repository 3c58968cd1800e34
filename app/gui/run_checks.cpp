// The question before a print run.

#include <QComboBox>
#include <QPrinterInfo>

#include "app/core/settings.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/qt_text.h"
#include "app/gui/window_texts.h"
#include "common/text.h"
#include "merge/program_state.h"

namespace qm::gui {

bool MainWindow::ConfirmPrintRun(int documents) {
    const std::string printer = printerSource_ ? printerSource_() : FromQ(QPrinterInfo::defaultPrinterName());
    if (printer.empty()) {
        ctx_.dialogs.message(
            "没有找到默认打印机，无法打印。请先在系统的打印机设置中添加打印机，并把它设为默认打印机。", "",
            Buttons::Ok, MessageIcon::Warning);
        return false;
    }
    std::string text = "将打印 " + IntToText(documents) + " 份文档，打印机：“" + printer + "”。\r\n";
    if (!ctx_.state.filters.empty()) text += FilterLine(ctx_.state.filters) + "\r\n";
    text += "是否开始打印？";
    return ctx_.dialogs.message(text, "打印确认", Buttons::YesNo, MessageIcon::Question) == Answer::Yes;
}

}  // namespace qm::gui
