#pragma once
// A label drawn as a link that acts when the left mouse button is released over it.

#include <QLabel>

namespace qm::gui {

class LinkLabel : public QLabel {
    Q_OBJECT
  public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

  signals:
    void released();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A picture that acts like LinkLabel.
class LinkPicture : public QLabel {
    Q_OBJECT
  public:
    explicit LinkPicture(QWidget* parent = nullptr);

  signals:
    void released();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace qm::gui
