#pragma once
// The preview of the document a row will make: its pages as the office renders them, with
// buttons for the other pages and for the previous and next row, and the bookmarks this row
// leaves empty under the page. Without pages it says why and shows the document's text.

#include <QDialog>
#include <functional>

#include "merge/preview.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;

namespace qm::gui {

class PreviewWindow : public QDialog {
    Q_OBJECT
  public:
    // `askForRow(row)` is called when the user wants another row (from 1, in the run's list).
    PreviewWindow(std::function<void(int)> askForRow, QWidget* parent = nullptr);

    // A row is being made: the buttons wait.
    void showWaiting(int row);
    void showPreview(const Preview& preview);
    // Nothing could be made for row `row`: says why, keeping the row buttons.
    void showProblem(int row, int rowCount, const QString& text);
    int row() const { return preview_.row; }
    int page() const { return page_; }

  private:
    void ShowPage();

    std::function<void(int)> askForRow_;
    Preview preview_;
    int page_ = 0;
    QScrollArea* scroll_ = nullptr;
    QLabel* image_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* empty_ = nullptr;
    QPushButton* previousPage_ = nullptr;
    QPushButton* nextPage_ = nullptr;
    QPushButton* previousRow_ = nullptr;
    QPushButton* nextRow_ = nullptr;
};

}  // namespace qm::gui
