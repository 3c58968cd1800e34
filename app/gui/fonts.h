#pragma once
// The fonts the windows ask for, with the CJK families of this platform as stand-ins when the
// named Windows fonts are missing.

#include <QFont>

namespace qm::gui {

// The windows' own text: 12 pixels, a CJK sans serif.
QFont WindowFont();
// Link labels of the main window: a SimSun-like serif, 12 pixels, underlined.
QFont LinkFont();
// The address link of the About window: a SimHei-like sans serif, 16 pixels.
QFont AddressFont();

}  // namespace qm::gui
