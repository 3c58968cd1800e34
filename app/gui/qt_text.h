#pragma once
// UTF-8 texts of the core to and from Qt's strings, at the widget boundary only.

#include <QString>
#include <string>
#include <string_view>

namespace qm::gui {

inline QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQ(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace qm::gui
