#include "app/gui/gui_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "app/gui/qt_text.h"

namespace qm::gui {

Answer QtDialogs::message(std::string_view text, std::string_view caption, Buttons buttons,
                          MessageIcon icon) {
    QMessageBox box(parent_);
    box.setWindowTitle(ToQ(caption.empty() ? kDefaultCaption : caption));
    // Message texts break their lines with CR LF.
    box.setText(ToQ(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // A path or a web address in a message can be copied from it.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    }
    const int result = box.exec();
    if (buttons == Buttons::Ok) return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

std::string QtDialogs::getOpenFileName(std::string_view title, std::string_view folder,
                                       std::string_view filter) {
    return FromQ(QFileDialog::getOpenFileName(parent_, ToQ(title), ToQ(folder), ToQ(filter)));
}

std::string QtDialogs::getSaveFileName(std::string_view title, std::string_view folder,
                                       std::string_view proposedName, std::string_view filter) {
    // The chosen name is only the stem of the run's file names, which the user confirms next;
    // the dialog's own overwrite question would ask about a file that may never be written.
    QFileDialog dialog(parent_, ToQ(title), ToQ(folder), ToQ(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(ToQ(proposedName));
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? std::string() : FromQ(files.front());
}

}  // namespace qm::gui
