#include "app/gui/help_window.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/gui/qt_text.h"

namespace qm::gui {

namespace {

// The packed help file is for web browsers; the window shows the page it was packed from.
QString ReadablePage(const QString& path) {
    if (!path.endsWith(QLatin1String(".mht"), Qt::CaseInsensitive)) return path;
    const QString html = path.left(path.size() - 4) + QStringLiteral(".html");
    return QFileInfo(html).isFile() ? html : path;
}

}  // namespace

HelpWindow::HelpWindow(std::function<void(const std::string&)> openOutside, QWidget* parent)
    : QDialog(parent), openOutside_(std::move(openOutside)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Quillmerge 帮助"));
    setAttribute(Qt::WA_DeleteOnClose);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("帮助浏览器"));
    // Every link comes to OnLink, which keeps help pages here and sends web pages out.
    browser_->setOpenLinks(false);
    browser_->setOpenExternalLinks(false);
    connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::OnLink);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = browser_->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Quillmerge 帮助")
                                       : title + QStringLiteral(" - Quillmerge 帮助"));
    });

    auto* back = new QPushButton(QStringLiteral("后退(&B)"), this);
    back->setObjectName(QStringLiteral("后退按钮"));
    back->setEnabled(false);
    auto* forward = new QPushButton(QStringLiteral("前进(&F)"), this);
    forward->setObjectName(QStringLiteral("前进按钮"));
    forward->setEnabled(false);
    auto* close = new QPushButton(QStringLiteral("关闭(&C)"), this);
    close->setObjectName(QStringLiteral("关闭按钮"));
    for (QPushButton* button : {back, forward, close}) button->setAutoDefault(false);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);

    QSize size(900, 680);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
}

bool HelpWindow::CanShow(const std::string& path) {
    const QFileInfo page(ReadablePage(ToQ(path)));
    return page.isFile() && page.isReadable();
}

bool HelpWindow::showPage(const std::string& path) {
    if (!CanShow(path)) return false;
    const QString page = ReadablePage(ToQ(path));
    browser_->setSource(QUrl::fromLocalFile(page));
    return true;
}

void HelpWindow::OnLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (!scheme.isEmpty() && scheme != QLatin1String("file")) {
        if (openOutside_) openOutside_(FromQ(url.toString()));
        return;
    }
    QUrl target = browser_->source().resolved(url);
    const QString page = ReadablePage(target.toLocalFile());
    if (!QFileInfo(page).isFile()) return;
    const QString fragment = target.fragment();
    target = QUrl::fromLocalFile(page);
    if (!fragment.isEmpty()) target.setFragment(fragment);
    browser_->setSource(target);
}

}  // namespace qm::gui
