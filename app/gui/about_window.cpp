#include "app/gui/about_window.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/gui/fonts.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/link_label.h"
#include "app/gui/links.h"
#include "app/gui/opener.h"
#include "app/gui/qt_text.h"
#include "app/gui/window_frame.h"
#include "app/gui/window_texts.h"

namespace qm::gui {

namespace {
// Client area of the 387 x 222 window: everything ends at 376 across and 176 down.
constexpr int kClientWidth = 381;
constexpr int kClientHeight = 190;
}  // namespace

AboutWindow::AboutWindow(Opener& opener, std::string programFolder, QWidget* parent, GuiDialogs* dialogs)
    : QDialog(parent), opener_(opener), dialogs_(dialogs) {
    setObjectName(QStringLiteral("AboutWindow"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("关于 Quillmerge V" QM_VERSION));
    setModal(true);
    setFont(WindowFont());
    setFixedSize(kClientWidth, kClientHeight);

    auto* banner = new LinkPicture(this);
    banner->setObjectName(QStringLiteral("图片框1"));
    banner->setGeometry(4, 4, 372, 56);
    banner->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPixmap image(ToQ(programFolder + std::string(kBannerPath)));
    if (!image.isNull()) banner->setPixmap(image);
    connect(banner, &LinkPicture::released, this, [this] { OpenHomePage(); });

    auto* line = new QLabel(ToQ(kAboutLine), this);
    line->setObjectName(QStringLiteral("标签1"));
    line->setGeometry(8, 68, 368, 24);

    auto* group = new QLabel(QStringLiteral("　　欢迎加入QQ群") + ToQ(kSupportGroupNumber) +
                                 QStringLiteral("参与讨论，为软件的升级改善提供宝贵的建议或意见。"),
                             this);
    group->setObjectName(QStringLiteral("标签2"));
    group->setGeometry(8, 100, 364, 44);
    group->setWordWrap(true);
    group->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* address = new LinkLabel(ToQ(kHomePageText), this);
    address->setObjectName(QStringLiteral("标签3"));
    address->setGeometry(4, 152, 196, 20);
    address->setFont(AddressFont());
    QPalette palette = address->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    address->setPalette(palette);
    connect(address, &LinkLabel::released, this, [this] { OpenHomePage(); });

    auto* close = new QPushButton(QStringLiteral("关闭(&C)"), this);
    close->setObjectName(QStringLiteral("按钮1"));
    close->setGeometry(264, 152, 96, 24);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, (height() + 26) / 2));
    }
}

void AboutWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    KeepFixedFrame(*this, false);
    QTimer::singleShot(0, this, [this] { KeepFixedFrame(*this, false); });
}

void AboutWindow::OpenHomePage() {
    opener_.open(kHomePageUrl, [about = QPointer<AboutWindow>(this)](bool opened) {
        if (!opened && about && about->dialogs_)
            about->dialogs_->message(CannotOpenText(kHomePageUrl), "", Buttons::Ok, MessageIcon::Warning);
    });
}

}  // namespace qm::gui
