#pragma once
// An edit box for a number with up-down buttons that keeps whatever is typed: "05" stays "05",
// an empty box stays empty and "1 2" stays "1 2". Only the buttons and the arrow keys respect
// the limits; the text is read by the merge request as typed.

#include <QAbstractSpinBox>

namespace qm::gui {

class RangeBox : public QAbstractSpinBox {
    Q_OBJECT
  public:
    explicit RangeBox(QWidget* parent = nullptr);

    QString boxText() const;
    void setBoxText(const QString& text);
    void setLimits(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    // Steps from the text read as a number (a text without one counts as 0), kept within the
    // limits; the result replaces the text.
    void stepBy(int steps) override;

  protected:
    StepEnabled stepEnabled() const override;

  private:
    int minimum_ = 1;
    int maximum_ = 100;
};

}  // namespace qm::gui
