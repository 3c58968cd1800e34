#include "app/gui/preview_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/gui/qt_text.h"
#include "common/text.h"

namespace qm::gui {

PreviewWindow::PreviewWindow(std::function<void(int)> askForRow, QWidget* parent)
    : QDialog(parent), askForRow_(std::move(askForRow)) {
    setObjectName(QStringLiteral("预览窗口"));
    setWindowTitle(QStringLiteral("预览"));
    // A page at 96 dpi is 794 pixels wide (A4): the window takes it whole where the screen
    // allows.
    const QRect screen =
        parent && parent->screen() ? parent->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    resize(std::min(850, screen.width() - 40), std::min(1000, screen.height() - 60));
    auto* layout = new QVBoxLayout(this);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("预览页面"));
    scroll_->setAlignment(Qt::AlignHCenter);
    image_ = new QLabel(scroll_);
    image_->setObjectName(QStringLiteral("预览图片"));
    scroll_->setWidget(image_);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("预览文字"));
    text_->setReadOnly(true);
    text_->hide();
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("预览说明"));
    status_->setWordWrap(true);
    empty_ = new QLabel(this);
    empty_->setObjectName(QStringLiteral("预览空书签"));
    empty_->setWordWrap(true);
    layout->addWidget(status_);
    layout->addWidget(scroll_, 1);
    layout->addWidget(text_, 1);
    layout->addWidget(empty_);
    auto* buttons = new QHBoxLayout();
    const auto button = [this, buttons](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromUtf8(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    previousRow_ = button("上一条按钮", "上一条");
    nextRow_ = button("下一条按钮", "下一条");
    buttons->addStretch(1);
    previousPage_ = button("上一页按钮", "上一页");
    nextPage_ = button("下一页按钮", "下一页");
    layout->addLayout(buttons);
    connect(previousPage_, &QPushButton::clicked, this, [this] {
        --page_;
        ShowPage();
    });
    connect(nextPage_, &QPushButton::clicked, this, [this] {
        ++page_;
        ShowPage();
    });
    connect(previousRow_, &QPushButton::clicked, this, [this] { askForRow_(preview_.row - 1); });
    connect(nextRow_, &QPushButton::clicked, this, [this] { askForRow_(preview_.row + 1); });
}

void PreviewWindow::showWaiting(int row) {
    status_->setText(QStringLiteral("正在生成第 %1 条记录的预览……").arg(row));
    for (QPushButton* b : {previousPage_, nextPage_, previousRow_, nextRow_}) b->setEnabled(false);
}

void PreviewWindow::showPreview(const Preview& preview) {
    preview_ = preview;
    page_ = 0;
    setWindowTitle(QStringLiteral("预览 - 第 %1 行").arg(preview.sheetRow));
    QString empty = QStringLiteral("本条记录没有空书签。");
    if (!preview.emptyBookmarks.empty()) {
        std::string names;
        for (const std::string& name : preview.emptyBookmarks) names += (names.empty() ? "" : "、") + name;
        empty = QStringLiteral("保持为空的书签：") + ToQ(names);
    }
    // What the run will do with this row's pictures, as with its empty bookmarks.
    for (const std::string& line : preview.picturesLeft)
        empty += QStringLiteral("\n") + ToQ(line) + QStringLiteral("。");
    empty_->setText(empty);
    ShowPage();
}

void PreviewWindow::showProblem(int row, int rowCount, const QString& text) {
    preview_ = Preview{};
    preview_.row = row;
    preview_.rowCount = rowCount;
    page_ = 0;
    scroll_->hide();
    text_->hide();
    empty_->clear();
    status_->setText(text);
    previousPage_->setEnabled(false);
    nextPage_->setEnabled(false);
    previousRow_->setEnabled(row > 1);
    nextRow_->setEnabled(row < rowCount);
}

void PreviewWindow::ShowPage() {
    const int pages = static_cast<int>(preview_.pages.size());
    const bool pictured = pages > 0;
    scroll_->setVisible(pictured);
    text_->setVisible(!pictured);
    if (pictured) {
        page_ = std::clamp(page_, 0, pages - 1);
        const QPixmap pixmap(ToQ(preview_.pages[static_cast<std::size_t>(page_)]));
        image_->setPixmap(pixmap);
        image_->resize(pixmap.size());
        status_->setText(
            QStringLiteral("第 %1 行，第 %2/%3 页").arg(preview_.sheetRow).arg(page_ + 1).arg(pages));
    } else {
        text_->setPlainText(ToQ(preview_.text));
        QString why;
        switch (preview_.pagesProblem) {
            case PagesProblem::NoOffice:
                why = QStringLiteral("Word程序无法启动");
                break;
            case PagesProblem::NotPictured:
                why = QStringLiteral("文档的页面无法转换为图片（需要pdftoppm）");
                break;
            default:
                why = QStringLiteral("Word程序未能把文档转换为页面");
                break;
        }
        status_->setText(
            QStringLiteral("第 %1 行：无法显示页面，%2。下面是文档的文字。").arg(preview_.sheetRow).arg(why));
    }
    previousPage_->setEnabled(pictured && page_ > 0);
    nextPage_->setEnabled(pictured && page_ + 1 < pages);
    previousRow_->setEnabled(preview_.row > 1);
    nextRow_->setEnabled(preview_.row < preview_.rowCount);
}

}  // namespace qm::gui
