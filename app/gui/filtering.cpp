// Rows chosen by their values: the filter line over the grid. The grid, the page list, the
// ranges and the runs then count in the rows that pass; the grid labels each with its own row
// number in the sheet.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/note_combo.h"
#include "app/gui/qt_text.h"
#include "app/gui/window_texts.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/cursor.h"
#include "merge/program_state.h"
#include "merge/row_filter.h"

namespace qm::gui {

void MainWindow::OnFilterApplied() {
    ProgramState& state = ctx_.state;
    if (sheetCombo_->currentIndex() < 0) {
        ctx_.dialogs.message("请先选择工作表！", "", Buttons::Ok, MessageIcon::None);
        return;
    }
    const int test = filterTest_->currentIndex();
    if (filterColumn_->currentIndex() < 0 || test < 0) return;
    RowFilter filter;
    filter.column = FromQ(filterColumn_->currentText());
    filter.test = kFilterTests[test];
    if (FilterTestTakesValue(filter.test)) filter.value = FromQ(filterValue_->text());
    // Checked against the values as stored before anything in view changes.
    const std::unique_ptr<data::Cursor> raw = data::OpenSheetAt(
        state.workbookPath, FromQ(sheetCombo_->currentText()), &state.workbooks, data::ValueStyle::Raw);
    if (!raw) return;
    const FilterOutcome passing = MatchingRows(*raw, {filter});
    if (passing.problem) {
        ctx_.dialogs.message(FilterProblemText(passing.problem->kind, passing.problem->column), "",
                             Buttons::Ok, MessageIcon::Warning);
        return;
    }
    state.filters = {filter};
    state.currentPage = 1;
    LoadPage();
    // Rows whose value a greater or less test could not compare are left out, and said so.
    const std::string notCompared = passing.unlike > 0
                                        ? "有 " + IntToText(passing.unlike) + " 条记录的“" + filter.column +
                                              "”不是数字或日期，无法比较大小，没有列入筛选结果。"
                                        : std::string();
    if (passing.rows.empty())
        ctx_.dialogs.message(
            NoRowMatchesText(state.filters) + (notCompared.empty() ? "" : "\r\n" + notCompared), "",
            Buttons::Ok, MessageIcon::Information);
    else if (!notCompared.empty())
        ctx_.dialogs.message(notCompared, "", Buttons::Ok, MessageIcon::Information);
}

void MainWindow::OnFilterCleared() {
    if (ctx_.state.filters.empty()) return;
    ctx_.state.filters.clear();
    ctx_.state.currentPage = 1;
    LoadPage();
}

void MainWindow::UpdateFilterColumns() {
    const ProgramState& state = ctx_.state;
    QStringList titles;
    for (const std::string& title : state.columnTitles) titles.append(ToQ(title));
    QStringList shown;
    for (int i = 0; i < filterColumn_->count(); ++i) shown.append(filterColumn_->itemText(i));
    if (titles != shown) {
        const QString current =
            state.filters.empty() ? filterColumn_->currentText() : ToQ(state.filters.front().column);
        const QSignalBlocker blocker(filterColumn_);
        filterColumn_->clear();
        filterColumn_->addItems(titles);
        filterColumn_->setCurrentIndex(
            std::max(static_cast<int>(titles.indexOf(current)), titles.isEmpty() ? -1 : 0));
    }
    // A run or a preview holds the inputs; they come back as they were when it ends.
    if (InputsLocked()) return;
    const bool sheet = sheetCombo_->currentIndex() >= 0;
    for (QWidget* control : std::initializer_list<QWidget*>{filterColumn_, filterTest_, filterButton_})
        control->setEnabled(sheet);
    filterValue_->setEnabled(sheet && (filterTest_->currentIndex() < 0 ||
                                       FilterTestTakesValue(kFilterTests[filterTest_->currentIndex()])));
    clearFilterButton_->setEnabled(!state.filters.empty());
}

void MainWindow::UpdateRunButtons() {
    // A filter that leaves no row leaves nothing to make.
    const bool rows = ctx_.state.filters.empty() || ctx_.state.recordCount > 0;
    // While a preview is being made, the template is its.
    saveButton_->setEnabled(rows && !previewBusy_);
    printButton_->setEnabled(rows && !previewBusy_);
    previewButton_->setEnabled(rows && !previewBusy_ && !RunGoing());
}

}  // namespace qm::gui
