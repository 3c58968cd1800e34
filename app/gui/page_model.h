#pragma once
// The cells of one page of the worksheet for the grid. The column titles are the fixed header
// row; the rows are the page's records. The vertical header numbers the records within the
// worksheet.

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

namespace qm::gui {

class PageModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    // Replaces the whole page: `cells` holds rows x columns texts row by row (shorter is
    // padded with empty cells); `titles` the column titles (missing ones are empty);
    // `firstRecord` the worksheet number of the first row, 0 for none.
    // `rowLabels`, when given, are the worksheet numbers of the filled rows (a filtered page).
    void setPage(int rows, int columns, QStringList titles, std::vector<QString> cells, int firstRecord,
                 int filledRows, std::vector<int> rowLabels = {});

    // The titles of the columns whose values name pictures: their headers carry a mark. True
    // when the marks changed (the header's widths may then want fitting).
    bool setPictureColumns(QStringList titles);

    QString cell(int row, int column) const;        // from 0; "" outside
    QString title(int column) const;                // from 0; "" outside
    int filledRows() const { return filledRows_; }  // rows of the page that hold a record

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    int rows_ = 0;
    int columns_ = 0;
    QStringList titles_;
    QStringList pictureTitles_;
    std::vector<QString> cells_;
    std::vector<int> rowLabels_;
    int firstRecord_ = 0;
    int filledRows_ = 0;
};

}  // namespace qm::gui
