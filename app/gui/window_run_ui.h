#pragma once
// The main window's side of a merge run: its message boxes, its progress bar with the stop
// button, event processing, the desktop opener for the output folder, and the window itself.

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
    bool stopRequested() override { return stop_; }

    // The stop button, Esc, or the user agreeing to stop when closing the window: the run ends
    // after the document it is making.
    void requestStop() { stop_ = true; }
    // Before each run.
    void resetStop() { stop_ = false; }

  private:
    // A message never shows over a progress bar left standing behind it.
    void HideProgressDisplay();

    MainWindow& window_;
    bool stop_ = false;
};

}  // namespace qm::gui
