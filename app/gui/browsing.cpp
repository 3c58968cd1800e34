// Data browsing in the main window: one page of the chosen worksheet in the grid, the page
// controls and the range controls.

#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTableView>
#include <algorithm>
#include <set>

#include "app/gui/main_window.h"
#include "app/gui/note_combo.h"
#include "app/gui/page_model.h"
#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/cursor.h"
#include "merge/matching.h"
#include "merge/program_state.h"
#include "merge/range_check.h"
#include "merge/row_filter.h"

namespace qm::gui {

void MainWindow::LoadPage() {
    if (sheetCombo_->currentIndex() < 0) return;
    ProgramState& state = ctx_.state;
    const int perPage = state.recordsPerPage;
    const std::string sheet = FromQ(sheetCombo_->currentText());

    // The page is read by column index from a cursor of its own; the query text stays what the
    // page shows, for whoever looks at it.
    state.sheetQuery = "select * from [" + sheet + "]";
    std::shared_ptr<data::Cursor> cursor =
        data::OpenSheetAt(state.workbookPath, sheet, &state.workbooks, state.valueStyle);
    state.sheetRecordCount = cursor ? TruncToInt(static_cast<double>(cursor->recordCount())) : 0;
    if (cursor && !state.filters.empty()) {
        // The rows that pass, compared as stored whichever way the grid shows them. A filter the
        // sheet no longer takes (it changed on disk) is dropped.
        std::shared_ptr<const data::Cursor> raw = cursor;
        if (state.valueStyle != data::ValueStyle::Raw)
            raw = data::OpenSheetAt(state.workbookPath, sheet, &state.workbooks, data::ValueStyle::Raw);
        FilterOutcome passing = raw ? MatchingRows(*raw, state.filters) : FilterOutcome{};
        if (!raw || passing.problem)
            state.filters.clear();
        else
            cursor = data::RowSubset(cursor, std::move(passing.rows));
    }
    state.recordCount = cursor ? TruncToInt(static_cast<double>(cursor->recordCount())) : 0;
    const bool filtered = !state.filters.empty();
    sheetCombo_->setNote(
        !cursor    ? QStringLiteral("无法读取")
        : filtered ? QStringLiteral("筛选 %1/%2 条").arg(state.recordCount).arg(state.sheetRecordCount)
                   : QStringLiteral("共%1条记录").arg(state.recordCount));
    const int fields = cursor ? cursor->fieldCount() : 0;
    long long pages = 0;
    if (cursor) {
        cursor->setPageSize(perPage);
        cursor->setAbsolutePage(state.currentPage);
        pages = cursor->pageCount();
    }

    {
        const QSignalBlocker blocker(pageCombo_);
        pageCombo_->clear();
        QStringList items;
        items.reserve(static_cast<qsizetype>(pages));
        for (long long i = 1; i <= pages; ++i) items.append(QString::number(i));
        pageCombo_->addItems(items);
        pageCombo_->setCurrentIndex(
            state.currentPage >= 1 && state.currentPage <= pages ? state.currentPage - 1 : -1);
    }

    // The bar is the run's while one goes: a page turned meanwhile must not take it over, nor
    // hide it when the page is in.
    const bool showLoad = !RunGoing();
    if (showLoad) {
        progress_->setRange(0, std::max(perPage, 0));
        progress_->setValue(0);
        progress_->show();
        progress_->raise();
    }

    // The page is gathered first and handed to the grid in one piece.
    QStringList titles;
    std::vector<QString> cells(static_cast<size_t>(std::max(perPage, 0)) * static_cast<size_t>(fields));
    int filled = 0;
    // A filter that leaves no row keeps the titles in view, so that it can be changed.
    if (filtered && state.recordCount == 0) {
        state.columnTitles.clear();
        for (int c = 0; c < fields; ++c) {
            state.columnTitles.push_back(cursor->fieldName(c));
            titles.append(ToQ(cursor->fieldName(c)));
        }
    }
    // The rows' own numbers in the sheet, when the page shows some of its rows.
    std::vector<int> rowLabels;
    for (int r = 1; cursor && r <= perPage; ++r) {
        if (cursor->eof()) break;
        if (filtered) rowLabels.push_back(static_cast<int>(cursor->sheetRow(cursor->position())) + 1);
        for (int c = 1; c <= fields; ++c) {
            if (r == 1) {
                const std::string name = cursor->fieldName(c - 1);
                if (c == 1) state.columnTitles.clear();
                state.columnTitles.push_back(name);
                titles.append(ToQ(name));
            }
            cells[static_cast<size_t>(r - 1) * static_cast<size_t>(fields) + static_cast<size_t>(c - 1)] =
                ToQ(cursor->fieldValue(c - 1));
        }
        if (fields > 0) filled = r;
        if (showLoad) progress_->setValue(r);
        cursor->moveNext();
    }
    const int firstRecord = (state.currentPage - 1) * perPage + 1;
    model_->setPage(perPage, fields, std::move(titles), std::move(cells), filled > 0 ? firstRecord : 0,
                    filled, std::move(rowLabels));
    // A new page starts unselected and at its top, also when the grid keeps its shape.
    grid_->selectionModel()->clear();
    grid_->scrollToTop();
    FitColumns();

    if (showLoad) progress_->hide();
    MatchTitles(state);
    UpdateMatchLine();
    UpdateRangeLimits();
    UpdateFilterColumns();
    UpdateRunButtons();
}

// Each column as wide as its title and the values of the first rows of the page need, so an ID
// number or a date shows whole; bounded so that one long text does not push the others out of
// sight (its tooltip shows it all). Only the first rows are measured to keep page changes quick.
void MainWindow::FitColumns() {
    constexpr int kMeasuredRows = 30;
    constexpr int kPadding = 12;
    constexpr int kMinimum = 36;
    constexpr int kMaximum = 300;
    constexpr int kStep = 8;
    QHeaderView* header = grid_->horizontalHeader();
    const QFontMetrics titleMetrics(header->font());
    const QFontMetrics cellMetrics(grid_->font());
    const int rows = std::min(model_->rowCount(), kMeasuredRows);
    for (int c = 0; c < model_->columnCount(); ++c) {
        int width = 0;
        // As the header shows it, a picture column's mark included.
        const QString title = model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        if (!title.isEmpty()) width = titleMetrics.horizontalAdvance(title);
        for (int r = 0; r < rows; ++r) {
            const QString text = model_->cell(r, c);
            if (!text.isEmpty()) width = std::max(width, cellMetrics.horizontalAdvance(text));
        }
        // Whole steps of kStep pixels, so that most page changes leave the widths as they are.
        const int wanted =
            width > 0 ? std::clamp((width + kPadding + kStep - 1) / kStep * kStep, kMinimum, kMaximum)
                      : header->defaultSectionSize();
        if (header->sectionSize(c) != wanted) header->resizeSection(c, wanted);
    }
}

void MainWindow::UpdateRangeLimits() {
    const int maximum = modeCombo_->currentIndex() == 0 ? ctx_.state.recordCount : pageCombo_->count();
    startBox_->setLimits(1, maximum);
    endBox_->setLimits(1, maximum);
}

// Another sheet starts on its first page: the page of the sheet before may not exist in it, and
// the row labels and "按选择" count from the page shown.
void MainWindow::OnSheetChosen() {
    ctx_.state.currentPage = 1;
    ctx_.state.filters.clear();
    LoadPage();
}

void MainWindow::OnPageSizeChosen() {
    if (pageSizeCombo_->currentIndex() < 0) SetCurrentQuietly(pageSizeCombo_, 0);
    ctx_.state.recordsPerPage = TextToInt(FromQ(pageSizeCombo_->currentText()));
    ctx_.state.currentPage = 1;
    LoadPage();
}

void MainWindow::OnPageChosen() {
    const int index = pageCombo_->currentIndex();
    ctx_.state.currentPage = index >= 0 ? index + 1 : 1;
    LoadPage();
}

// A page number typed into the page list and confirmed with Enter; anything else puts the
// current page's number back.
void MainWindow::OnPageTyped() {
    const std::string text = FromQ(pageCombo_->lineEdit()->text());
    const int page = IsWholeNumberText(text) ? TextToInt(text) : 0;
    if (page < 1 || page > pageCombo_->count()) {
        pageCombo_->lineEdit()->setText(pageCombo_->itemText(pageCombo_->currentIndex()));
        return;
    }
    SetCurrentQuietly(pageCombo_, page - 1);
    OnPageChosen();
}

void MainWindow::OnFirstPage() {
    if (pageCombo_->count() > 1) SetCurrentQuietly(pageCombo_, 0);
    OnPageChosen();
}

void MainWindow::OnPreviousPage() {
    const int index = pageCombo_->currentIndex();
    if (index > 0) SetCurrentQuietly(pageCombo_, index - 1);
    OnPageChosen();
}

void MainWindow::OnNextPage() {
    const int index = pageCombo_->currentIndex();
    if (index < pageCombo_->count() - 1) SetCurrentQuietly(pageCombo_, index + 1);
    OnPageChosen();
}

void MainWindow::OnLastPage() {
    if (pageCombo_->count() > 0) SetCurrentQuietly(pageCombo_, pageCombo_->count() - 1);
    OnPageChosen();
}

// Grid rows count from 1 with the title row as row 1, so the view's row i (from 0, the header
// being the title row) is grid row i + 2.
void MainWindow::OnModeChosen() {
    if (modeCombo_->currentIndex() < 0) SetCurrentQuietly(modeCombo_, 0);
    const int pages = pageCombo_->count();
    switch (modeCombo_->currentIndex()) {
        case 0:
            unitLabel_->setText(QStringLiteral("条"));
            break;
        case 1:
            unitLabel_->setText(QStringLiteral("页"));
            if (TextToNumber(FromQ(endBox_->boxText())) > pages) endBox_->setBoxText(QString::number(pages));
            if (TextToNumber(FromQ(startBox_->boxText())) > pages)
                startBox_->setBoxText(QString::number(pages));
            break;
        case 2:
            unitLabel_->setText(QStringLiteral("页"));
            startBox_->setBoxText(QStringLiteral("1"));
            endBox_->setBoxText(QString::number(pages));
            SetCurrentQuietly(modeCombo_, 1);
            break;
        case 3: {
            unitLabel_->setText(QStringLiteral("条"));
            SetCurrentQuietly(modeCombo_, 0);
            std::set<int> rows;
            for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes())
                rows.insert(index.row());
            int top = 0;
            int count = 0;
            if (!rows.empty()) {
                top = *rows.begin() + 2;
                count = static_cast<int>(rows.size());
            } else {
                const QModelIndex current = grid_->currentIndex();
                top = current.isValid() ? current.row() + 2 : 2;
                count = 1;
            }
            const long long start =
                static_cast<long long>(ctx_.state.currentPage - 1) * ctx_.state.recordsPerPage + top - 1;
            startBox_->setBoxText(QString::number(start));
            endBox_->setBoxText(QString::number(start + count - 1));
            break;
        }
        default:
            break;
    }
    UpdateRangeLimits();
}

}  // namespace qm::gui
