#pragma once
// Disables the window's input controls while a run goes: a change of workbook, sheet,
// template, modes or range would change what the run works on. Those it disabled come back
// when it goes; a control deleted meanwhile is passed over.

#include <QList>
#include <QPointer>
#include <QWidget>

namespace qm::gui {

class InputsDisabled {
  public:
    explicit InputsDisabled(const QList<QWidget*>& widgets) {
        for (QWidget* widget : widgets) {
            if (widget && widget->isEnabled()) {
                widget->setEnabled(false);
                disabled_.append(widget);
            }
        }
    }
    ~InputsDisabled() {
        for (const QPointer<QWidget>& widget : disabled_)
            if (widget) widget->setEnabled(true);
    }
    InputsDisabled(const InputsDisabled&) = delete;
    InputsDisabled& operator=(const InputsDisabled&) = delete;

  private:
    QList<QPointer<QWidget>> disabled_;
};

}  // namespace qm::gui
