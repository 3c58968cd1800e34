#include "app/gui/gui_dialogs.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>

#include "app/gui/qt_text.h"

namespace qm::gui {

std::string GuiDialogs::getSaveFileNameOfType(std::string_view title, std::string_view folder,
                                              std::string_view proposedName,
                                              const std::vector<std::string>& types, int& type) {
    const bool known = type >= 0 && type < static_cast<int>(types.size());
    return getSaveFileName(title, folder, proposedName,
                           known ? std::string_view(types[static_cast<std::size_t>(type)]) : "");
}

int GuiDialogs::chooseItem(std::string_view, std::string_view, const std::vector<std::string>&, int current) {
    return current;
}

namespace {

// The file dialog's list with Chinese where Qt's file model speaks English: the type of a folder
// and the modification date, which it formats by the system's locale. File types come from the
// MIME database, in the program's (Chinese) locale already.
class ChineseFileList : public QIdentityProxyModel {
  public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        static const QLocale chinese(QLocale::Chinese, QLocale::China);
        if (role == Qt::DisplayRole && index.column() >= 1 && index.column() <= 3) {
            if (const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel())) {
                const QFileInfo info = files->fileInfo(mapToSource(index));
                if (index.column() == 1) {
                    // As the file managers of Chinese desktops show sizes: whole kilobytes.
                    if (info.isDir()) return QString();
                    const qint64 kb = (files->size(mapToSource(index)) + 1023) / 1024;
                    return chinese.toString(kb) + QStringLiteral(" KB");
                }
                if (index.column() == 2 && info.isDir()) return QStringLiteral("文件夹");
                if (index.column() == 3) {
                    const QDateTime modified = files->lastModified(mapToSource(index));
                    if (modified.isValid())
                        return chinese.toString(modified, QStringLiteral("yyyy/M/d H:mm"));
                }
            }
        }
        return QIdentityProxyModel::data(index, role);
    }
};

}  // namespace

void SetUpFileDialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new ChineseFileList(&dialog));
    // Sizes, types and dates shown whole rather than cut short.
    if (auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        for (int column = 1; column <= 3; ++column)
            list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
}

void SetUpMessageBox(QMessageBox& box, std::string_view text, std::string_view caption, Buttons buttons,
                     MessageIcon icon) {
    box.setWindowTitle(ToQ(caption.empty() ? kDefaultCaption : caption));
    // Message texts break their lines with CR LF.
    box.setText(ToQ(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // A path or a web address in a message can be copied from it.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    switch (icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
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
}

Answer QtDialogs::message(std::string_view text, std::string_view caption, Buttons buttons,
                          MessageIcon icon) {
    QMessageBox box(parent_);
    SetUpMessageBox(box, text, caption, buttons, icon);
    const int result = box.exec();
    if (buttons == Buttons::Ok) return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

std::string QtDialogs::getOpenFileName(std::string_view title, std::string_view folder,
                                       std::string_view filter) {
    QFileDialog dialog(parent_, ToQ(title), ToQ(folder), ToQ(filter));
    SetUpFileDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? std::string() : FromQ(files.front());
}

std::string QtDialogs::getSaveFileName(std::string_view title, std::string_view folder,
                                       std::string_view proposedName, std::string_view filter) {
    // The chosen name is only the stem of the run's file names, which the user confirms next;
    // the dialog's own overwrite question would ask about a file that may never be written.
    QFileDialog dialog(parent_, ToQ(title), ToQ(folder), ToQ(filter));
    SetUpFileDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(ToQ(proposedName));
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? std::string() : FromQ(files.front());
}

std::string QtDialogs::getSaveFileNameOfType(std::string_view title, std::string_view folder,
                                             std::string_view proposedName,
                                             const std::vector<std::string>& types, int& type) {
    QFileDialog dialog(parent_, ToQ(title), ToQ(folder));
    SetUpFileDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters;
    for (const std::string& t : types) filters.append(ToQ(t));
    dialog.setNameFilters(filters);
    if (type >= 0 && type < filters.size()) dialog.selectNameFilter(filters[type]);
    dialog.selectFile(ToQ(proposedName));
    // The name shown follows the type chosen, so that 合同.doc becomes 合同.pdf with the PDF type;
    // the type alone decides the format, whatever the name ends in.
    const auto suffixOf = [](const QString& filter) {
        const qsizetype open = filter.lastIndexOf(QLatin1String("(*"));
        return open < 0 ? QString() : filter.mid(open + 2).chopped(1);
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString suffix = suffixOf(filter);
        if (!edit || suffix.isEmpty()) return;
        QString name = edit->text();
        for (const QString& other : filters) {
            const QString old = suffixOf(other);
            if (!old.isEmpty() && name.endsWith(old, Qt::CaseInsensitive)) {
                name.chop(old.size());
                edit->setText(name + suffix);
                return;
            }
        }
    });
    if (dialog.exec() != QDialog::Accepted) return {};
    type = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? std::string() : FromQ(files.front());
}

int QtDialogs::chooseItem(std::string_view title, std::string_view label,
                          const std::vector<std::string>& items, int current) {
    QStringList list;
    for (const std::string& item : items) list.append(ToQ(item));
    QInputDialog dialog(parent_);
    dialog.setWindowTitle(ToQ(title));
    dialog.setLabelText(ToQ(label));
    dialog.setComboBoxItems(list);
    dialog.setComboBoxEditable(false);
    if (current >= 0 && current < list.size()) dialog.setTextValue(list[current]);
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    if (dialog.exec() != QDialog::Accepted) return -1;
    return static_cast<int>(list.indexOf(dialog.textValue()));
}

}  // namespace qm::gui
