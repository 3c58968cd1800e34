#pragma once
// The main window's side of a merge run: its message boxes, its progress bar, event
// processing, the desktop opener for the output folder, and the window itself.

#include "merge/merge_run.h"

namespace qm::gui {

class MainWindow;

class WindowRunUi : public RunUi {
public:
    explicit WindowRunUi(MainWindow& window) : window_(window) {}

    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
    bool askYesNo(std::string_view text, std::string_view caption, MessageIcon icon) override;
    void showProgress(int minimum, int maximum) override;
    void setProgress(int position) override;
    void hideProgress() override;
    void processEvents() override;
    void openFolder(std::string_view folder) override;
    void showMainWindow() override;
    void hideMainWindow() override;

private:
    MainWindow& window_;
};

}  // namespace qm::gui
