#!/usr/bin/python3
"""Finds a top-level window by a part of its title and asks it to close the way a window
manager does when its close box is clicked: with a WM_DELETE_WINDOW message.

    close-window.py wait TEXT SECONDS   waits until such a window exists (status 1: none came)
    close-window.py close TEXT          asks every such window to close (status 1: none found)

Talks to the X server of $DISPLAY through libX11 and ctypes, so it needs nothing beyond the X
library that Qt already brings.
"""
import ctypes
import sys
import time

Window = ctypes.c_ulong
Atom = ctypes.c_ulong
ClientMessage = 33
NoEventMask = 0


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = Window
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = Atom
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                           ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
x11.XGetWindowProperty.argtypes = [
    ctypes.c_void_p, Window, Atom, ctypes.c_long, ctypes.c_long, ctypes.c_int, Atom,
    ctypes.POINTER(Atom), ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte))]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]


def title(display, window, name_atoms):
    """The window's _NET_WM_NAME, else its WM_NAME, as text ("" when it has neither)."""
    for atom in name_atoms:
        kind, fmt = Atom(), ctypes.c_int()
        count, rest = ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.POINTER(ctypes.c_ubyte)()
        if x11.XGetWindowProperty(display, window, atom, 0, 1024, 0, 0, ctypes.byref(kind), ctypes.byref(fmt),
                                  ctypes.byref(count), ctypes.byref(rest), ctypes.byref(data)) != 0:
            continue
        if data:
            text = ctypes.string_at(data, count.value) if fmt.value == 8 else b""
            x11.XFree(data)
            if text:
                return text.decode("utf-8", "replace")
    return ""


def windows_titled(display, text):
    name_atoms = [x11.XInternAtom(display, b"_NET_WM_NAME", 0), x11.XInternAtom(display, b"WM_NAME", 0)]
    root, parent = Window(), Window()
    children = ctypes.POINTER(Window)()
    count = ctypes.c_uint()
    if not x11.XQueryTree(display, x11.XDefaultRootWindow(display), ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(count)):
        return []
    found = [children[i] for i in range(count.value) if text in title(display, children[i], name_atoms)]
    if children:
        x11.XFree(children)
    return found


def close(display, window):
    event = XEvent()
    event.xclient.type = ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.xclient.data[1] = 0  # CurrentTime
    x11.XSendEvent(display, window, 0, NoEventMask, ctypes.byref(event))


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("wait", "close"):
        sys.exit(__doc__)
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("close-window.py: cannot open the display")
    try:
        text = sys.argv[2]
        if sys.argv[1] == "wait":
            until = time.monotonic() + float(sys.argv[3] if len(sys.argv) > 3 else 30)
            while not windows_titled(display, text):
                if time.monotonic() > until:
                    return 1
                time.sleep(0.2)
            return 0
        found = windows_titled(display, text)
        for window in found:
            close(display, window)
        x11.XFlush(display)
        return 0 if found else 1
    finally:
        x11.XCloseDisplay(display)


if __name__ == "__main__":
    sys.exit(main())
