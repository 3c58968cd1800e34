#include "app/gui/opener.h"

#include <QDesktopServices>
#include <QUrl>

#include "app/gui/qt_text.h"

namespace qm::gui {

void DesktopOpener::open(std::string_view target) {
    const QString text = ToQ(target);
    const bool web = text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                     text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    QDesktopServices::openUrl(web ? QUrl(text) : QUrl::fromLocalFile(text));
}

}  // namespace qm::gui
