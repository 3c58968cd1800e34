#include "app/gui/page_model.h"

namespace qm::gui {

void PageModel::setPage(int rows, int columns, QStringList titles, std::vector<QString> cells, int firstRecord,
                        int filledRows) {
    beginResetModel();
    rows_ = std::max(rows, 0);
    columns_ = std::max(columns, 0);
    titles_ = std::move(titles);
    cells_ = std::move(cells);
    cells_.resize(static_cast<size_t>(rows_) * static_cast<size_t>(columns_));
    firstRecord_ = firstRecord;
    filledRows_ = filledRows;
    endResetModel();
}

QString PageModel::cell(int row, int column) const {
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return {};
    return cells_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(column)];
}

QString PageModel::title(int column) const {
    if (column < 0 || column >= titles_.size()) return {};
    return titles_[column];
}

int PageModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int PageModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

QVariant PageModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const QString text = cell(index.row(), index.column());
    if (role == Qt::ToolTipRole && text.isEmpty()) return {};
    return text;
}

QVariant PageModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal) return title(section);
    if (firstRecord_ > 0 && section < filledRows_) return QString::number(firstRecord_ + section);
    return QString();
}

}  // namespace qm::gui
