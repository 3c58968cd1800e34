#pragma once
// The About window: banner, one line about the program, the support group, the home page link.
// Modal; made afresh each time it is shown.

#include <QDialog>
#include <string>

namespace qm::gui {

class Opener;
class GuiDialogs;

class AboutWindow : public QDialog {
    Q_OBJECT
  public:
    // `dialogs`, when given, says so when the desktop cannot open the home page.
    AboutWindow(Opener& opener, std::string programFolder, QWidget* parent = nullptr,
                GuiDialogs* dialogs = nullptr);

  protected:
    // The frame offers no maximize button: the window has one size.
    void showEvent(QShowEvent* event) override;

  private:
    void OpenHomePage();

    Opener& opener_;
    GuiDialogs* dialogs_;
};

}  // namespace qm::gui
