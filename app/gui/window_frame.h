#pragma once
// The frame a window manager draws around a window of fixed size.

class QWidget;

namespace qm::gui {

// Tells the window manager that `window` (shown, of fixed size) is neither resized nor maximized,
// so that its frame offers no maximize button. Qt's own hints allow resizing whatever the size
// limits, and some window managers go by those hints alone. `minimize`: the frame keeps its
// minimize button. Does nothing off X11.
void KeepFixedFrame(QWidget& window, bool minimize);

}  // namespace qm::gui
