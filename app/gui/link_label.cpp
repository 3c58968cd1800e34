#include "app/gui/link_label.h"

#include <QMouseEvent>

namespace qm::gui {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit released();
}

LinkPicture::LinkPicture(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
}

void LinkPicture::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit released();
}

}  // namespace qm::gui
