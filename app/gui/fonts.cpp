#include "app/gui/fonts.h"

#include <QStringList>

namespace qm::gui {

QFont WindowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Sans Serif")});
    font.setPixelSize(12);
    return font;
}

QFont LinkFont() {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPixelSize(12);
    font.setUnderline(true);
    return font;
}

QFont AddressFont() {
    QFont font;
    font.setFamilies({QStringLiteral("SimHei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Sans Serif")});
    font.setPixelSize(16);
    return font;
}

}  // namespace qm::gui
