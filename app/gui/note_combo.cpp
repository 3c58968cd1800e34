#include "app/gui/note_combo.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace qm::gui {

void NoteComboBox::setNote(const QString& note) {
    if (note == note_) return;
    note_ = note;
    setToolTip(note);
    update();
}

void NoteComboBox::paintEvent(QPaintEvent* event) {
    QComboBox::paintEvent(event);
    if (note_.isEmpty()) return;
    QStyleOptionComboBox option;
    initStyleOption(&option);
    QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    field.adjust(0, 0, -4, 0);
    // The note gives way to a long item text rather than covering it.
    const int textWidth = fontMetrics().horizontalAdvance(currentText());
    const int noteWidth = fontMetrics().horizontalAdvance(note_);
    if (textWidth + noteWidth + 16 > field.width()) return;
    QStylePainter painter(this);
    // As readable as the sheet's name beside it; greyed only with the list itself.
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    painter.drawText(field, Qt::AlignRight | Qt::AlignVCenter, note_);
}

}  // namespace qm::gui
