#pragma once
// The help pages in a window of the program's own: HTML with its pictures in a text browser, so
// that help works on a desktop without a web browser. Links between the help pages stay in the
// window; web addresses go to the desktop.

#include <QDialog>
#include <functional>
#include <string>

class QTextBrowser;
class QUrl;

namespace qm::gui {

class HelpWindow : public QDialog {
    Q_OBJECT
  public:
    // `openOutside` receives the web addresses of clicked links.
    HelpWindow(std::function<void(const std::string&)> openOutside, QWidget* parent = nullptr);

    // Whether showPage can show the page at `path`.
    static bool CanShow(const std::string& path);
    // Shows the page at `path`, a local HTML file; false when it cannot be read. A page of
    // the packed help (.mht) is shown from its .html beside it.
    bool showPage(const std::string& path);
    QTextBrowser* browser() const { return browser_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void OnLink(const QUrl& url);
    // Pictures wider than the page's room are shown narrower, so the page never needs a
    // horizontal scroll bar; they come back to their own width when there is room again.
    void FitPictures();

    std::function<void(const std::string&)> openOutside_;
    QTextBrowser* browser_ = nullptr;
};

}  // namespace qm::gui
