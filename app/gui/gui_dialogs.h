#pragma once
// Every message box and file dialog of the windows goes through GuiDialogs, so the tests can
// answer them from queues. The same object answers the core's UserDialogs.

#include <string>
#include <string_view>
#include <vector>

#include "common/dialogs.h"

class QWidget;
class QMessageBox;
class QFileDialog;

namespace qm::gui {

enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

// Filters are given in Qt's form, "Excel文件(*.xls)".
class GuiDialogs : public UserDialogs {
  public:
    // A message box; a caption "" shows as "信息".
    virtual Answer message(std::string_view text, std::string_view caption, Buttons buttons,
                           MessageIcon icon) = 0;
    // Full path of the chosen file; "" when cancelled.
    virtual std::string getOpenFileName(std::string_view title, std::string_view folder,
                                        std::string_view filter) = 0;
    // Full path as typed or chosen (no extension is added); "" when cancelled.
    virtual std::string getSaveFileName(std::string_view title, std::string_view folder,
                                        std::string_view proposedName, std::string_view filter) = 0;
    // A save dialog offering the file types `types` (filters); `type` is the index of the one
    // shown first and becomes the one chosen. Full path as typed; "" when cancelled. By default
    // getSaveFileName with the type shown first, which stays the chosen one.
    virtual std::string getSaveFileNameOfType(std::string_view title, std::string_view folder,
                                              std::string_view proposedName,
                                              const std::vector<std::string>& types, int& type);
    // One of `items`, `current` shown first: its index, or -1 when cancelled. By default
    // `current`, as a dialog closed with OK at once.
    virtual int chooseItem(std::string_view title, std::string_view label,
                           const std::vector<std::string>& items, int current);

    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
        message(text, caption, Buttons::Ok, icon);
    }
    bool askYesNo(std::string_view text, std::string_view caption, MessageIcon icon) override {
        return message(text, caption, Buttons::YesNo, icon) == Answer::Yes;
    }
};

// The message box QtDialogs::message shows, set up in `box` (for pictures of it too).
void SetUpMessageBox(QMessageBox& box, std::string_view text, std::string_view caption, Buttons buttons,
                     MessageIcon icon);

// Makes `dialog` the program's own file dialog, Chinese throughout: Qt's dialog rather than the
// desktop's (which speaks the desktop's language), with the type of folders and the dates of
// files in Chinese, which Qt's translations leave in English.
void SetUpFileDialog(QFileDialog& dialog);

// Message boxes and file dialogs on screen, owned by `parent` (may be set later).
class QtDialogs : public GuiDialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    Answer message(std::string_view text, std::string_view caption, Buttons buttons,
                   MessageIcon icon) override;
    std::string getOpenFileName(std::string_view title, std::string_view folder,
                                std::string_view filter) override;
    std::string getSaveFileName(std::string_view title, std::string_view folder,
                                std::string_view proposedName, std::string_view filter) override;
    std::string getSaveFileNameOfType(std::string_view title, std::string_view folder,
                                      std::string_view proposedName, const std::vector<std::string>& types,
                                      int& type) override;
    int chooseItem(std::string_view title, std::string_view label, const std::vector<std::string>& items,
                   int current) override;

  private:
    QWidget* parent_;
};

}  // namespace qm::gui
