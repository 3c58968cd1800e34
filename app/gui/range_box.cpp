#include "app/gui/range_box.h"

#include <QLineEdit>
#include <algorithm>

#include "app/gui/qt_text.h"
#include "common/text.h"

namespace qm::gui {

RangeBox::RangeBox(QWidget* parent) : QAbstractSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
}

QString RangeBox::boxText() const {
    return lineEdit()->text();
}

void RangeBox::setBoxText(const QString& text) {
    lineEdit()->setText(text);
}

void RangeBox::setLimits(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    update();
}

void RangeBox::stepBy(int steps) {
    const long long value = static_cast<long long>(TextToInt(FromQ(boxText()))) + steps;
    if (maximum_ < minimum_) return;
    const long long kept = std::clamp<long long>(value, minimum_, maximum_);
    setBoxText(QString::number(kept));
}

QAbstractSpinBox::StepEnabled RangeBox::stepEnabled() const {
    const int value = TextToInt(FromQ(boxText()));
    StepEnabled enabled = StepNone;
    if (maximum_ < minimum_) return enabled;
    if (value < maximum_) enabled |= StepUpEnabled;
    if (value > minimum_) enabled |= StepDownEnabled;
    return enabled;
}

}  // namespace qm::gui
