#include "app/gui/window_frame.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace qm::gui {

namespace {

// The motif hints' flags, functions and decorations, as window managers read them.
constexpr std::uint32_t kFunctionsGiven = 1;
constexpr std::uint32_t kDecorationsGiven = 2;
constexpr std::uint32_t kMove = 4;
constexpr std::uint32_t kMinimizeFunction = 8;
constexpr std::uint32_t kClose = 32;
constexpr std::uint32_t kBorder = 2;
constexpr std::uint32_t kTitle = 8;
constexpr std::uint32_t kMenu = 16;
constexpr std::uint32_t kMinimizeButton = 32;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }  // NOLINT(cppcoreguidelines-no-malloc)
};

}  // namespace

void KeepFixedFrame(QWidget& window, bool minimize) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !window.windowHandle()) return;
    xcb_connection_t* connection = x11->connection();
    if (!connection) return;
    static constexpr char kName[] = "_MOTIF_WM_HINTS";
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr));
    if (!atom) return;
    const std::array<std::uint32_t, 5> hints = {
        kFunctionsGiven | kDecorationsGiven,
        kMove | kClose | (minimize ? kMinimizeFunction : 0),
        kBorder | kTitle | kMenu | (minimize ? kMinimizeButton : 0),
        0,
        0,
    };
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()),
                        atom->atom, atom->atom, 32, static_cast<std::uint32_t>(hints.size()), hints.data());
    xcb_flush(connection);
}

}  // namespace qm::gui
