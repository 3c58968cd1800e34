#include "app/gui/help_window.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

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
        FitPictures();
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

void HelpWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FitPictures();
}

void HelpWindow::FitPictures() {
    // The page's own width of each picture is kept in the format, under this property.
    constexpr int kOwnWidth = QTextFormat::UserProperty + 1;
    QTextDocument* document = browser_->document();
    const int scrollBar = browser_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const qreal room =
        browser_->width() - scrollBar - 2 * browser_->frameWidth() - 2 * document->documentMargin() - 4;
    if (room <= 0) return;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat picture = fragment.charFormat().toImageFormat();
            if (!picture.isValid()) continue;
            // The page's line spacing is meant for text: a line that holds a picture would be
            // that many times the picture's height, a gap above it.
            if (block.blockFormat().lineHeightType() != QTextBlockFormat::SingleHeight) {
                QTextBlockFormat single;
                single.setLineHeight(0, QTextBlockFormat::SingleHeight);
                QTextCursor(block).mergeBlockFormat(single);
            }
            qreal own = picture.doubleProperty(kOwnWidth);
            if (own <= 0) {
                own = picture.width();
                if (own <= 0) {
                    const QVariant image =
                        document->resource(QTextDocument::ImageResource, QUrl(picture.name()));
                    own = image.typeId() == QMetaType::QPixmap  ? image.value<QPixmap>().width()
                          : image.typeId() == QMetaType::QImage ? image.value<QImage>().width()
                                                                : 0;
                }
                if (own <= 0) continue;
                picture.setProperty(kOwnWidth, own);
            }
            // Less what the paragraph is indented by (lists, quotes).
            const QTextBlockFormat paragraph = block.blockFormat();
            qreal indent = paragraph.leftMargin() + paragraph.rightMargin() + paragraph.textIndent() +
                           paragraph.indent() * document->indentWidth();
            if (const QTextList* list = block.textList())
                indent += list->format().indent() * document->indentWidth();
            const qreal width = std::max<qreal>(16, std::min(own, room - indent));
            if (picture.width() == width && picture.hasProperty(kOwnWidth)) continue;
            picture.setWidth(width);
            // The height follows the width.
            picture.clearProperty(QTextFormat::ImageHeight);
            QTextCursor cursor(document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(picture);
        }
    }
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
