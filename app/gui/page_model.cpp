#include "app/gui/page_model.h"

namespace qm::gui {

void PageModel::setPage(int rows, int columns, QStringList titles, std::vector<QString> cells,
                        int firstRecord, int filledRows, std::vector<int> rowLabels) {
    rows = std::max(rows, 0);
    columns = std::max(columns, 0);
    // A page of the same shape keeps the view's column widths and only tells it what changed.
    const bool sameShape = rows == rows_ && columns == columns_;
    if (!sameShape) beginResetModel();
    rows_ = rows;
    columns_ = columns;
    titles_ = std::move(titles);
    cells_ = std::move(cells);
    cells_.resize(static_cast<size_t>(rows_) * static_cast<size_t>(columns_));
    firstRecord_ = firstRecord;
    filledRows_ = filledRows;
    rowLabels_ = std::move(rowLabels);
    if (!sameShape) {
        endResetModel();
        return;
    }
    if (rows_ > 0 && columns_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
    if (columns_ > 0) emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
    if (rows_ > 0) emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
}

bool PageModel::setPictureColumns(QStringList titles) {
    if (titles == pictureTitles_) return false;
    pictureTitles_ = std::move(titles);
    if (columns_ > 0) emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
    return true;
}

QString PageModel::cell(int row, int column) const {
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return {};
    return cells_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(column)];
}

QString PageModel::title(int column) const {
    if (column < 0 || column >= titles_.size()) return {};
    return titles_[column];
}

int PageModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int PageModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

QVariant PageModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const QString text = cell(index.row(), index.column());
    if (role == Qt::ToolTipRole && text.isEmpty()) return {};
    return text;
}

QVariant PageModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const bool picture =
        orientation == Qt::Horizontal && !title(section).isEmpty() && pictureTitles_.contains(title(section));
    if (role == Qt::ToolTipRole && picture)
        return QStringLiteral("图片列：这一列的值是图片文件名，图片放入书签");
    if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return picture ? title(section) + QStringLiteral("（图片）") : title(section);
    if (section >= 0 && static_cast<std::size_t>(section) < rowLabels_.size() && section < filledRows_)
        return QString::number(rowLabels_[static_cast<std::size_t>(section)]);
    if (firstRecord_ > 0 && section < filledRows_) return QString::number(firstRecord_ + section);
    return QString();
}

}  // namespace qm::gui
