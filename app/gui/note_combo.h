#pragma once
// A drop-down list that shows a short note at the right end of its box, in grey, beside the
// current item (the worksheet list shows the sheet's number of records there). The note is no
// item: the items and the current text stay as they are.

#include <QComboBox>
#include <QString>

namespace qm::gui {

class NoteComboBox : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;

    // "" shows no note.
    void setNote(const QString& note);
    const QString& note() const { return note_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString note_;
};

}  // namespace qm::gui
