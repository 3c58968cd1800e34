#include "app/gui/window_run_ui.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>

#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/opener.h"

namespace qm::gui {

void WindowRunUi::HideProgressDisplay() {
    window_.progress_->hide();
    window_.stopButton_->hide();
}

void WindowRunUi::showMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
    HideProgressDisplay();
    window_.ctx_.dialogs.message(text, caption, Buttons::Ok, icon);
}

bool WindowRunUi::askYesNo(std::string_view text, std::string_view caption, MessageIcon icon) {
    HideProgressDisplay();
    return window_.ctx_.dialogs.message(text, caption, Buttons::YesNo, icon) == Answer::Yes;
}

void WindowRunUi::showProgress(int minimum, int maximum) {
    QProgressBar* bar = window_.progress_;
    bar->setRange(minimum, std::max(minimum, maximum));
    bar->setValue(minimum);
    bar->show();
    bar->raise();
    QPushButton* stop = window_.stopButton_;
    stop->setText(QStringLiteral("停止(Esc)"));
    stop->setEnabled(!stop_);
    stop->show();
    stop->raise();
}

void WindowRunUi::setProgress(int position) {
    window_.progress_->setValue(position);
    if (window_.progressObserver_) window_.progressObserver_(position);
}

void WindowRunUi::hideProgress() {
    HideProgressDisplay();
}

void WindowRunUi::processEvents() {
    QCoreApplication::processEvents();
}

void WindowRunUi::openFolder(std::string_view folder) {
    window_.OpenOnDesktop(std::string(folder));
}

void WindowRunUi::showMainWindow() {
    window_.show();
    window_.BringToFront();
}

void WindowRunUi::hideMainWindow() {
    window_.hide();
}

}  // namespace qm::gui
