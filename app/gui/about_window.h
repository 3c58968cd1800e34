#pragma once
// The About window: banner, one line about the program, the support group, the home page link.
// Modal; made afresh each time it is shown.

#include <QDialog>
#include <string>

namespace qm::gui {

class Opener;

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    AboutWindow(Opener& opener, std::string programFolder, QWidget* parent = nullptr);

private:
    Opener& opener_;
};

}  // namespace qm::gui
