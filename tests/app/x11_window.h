#pragma once

// Speaking to a window as a window manager does. Xlib's macros (Status, Bool,
// None) clash with Qt's headers: include this last.

#include <poll.h>

#include <QDeadlineTimer>
#include <QString>
#include <memory>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ornavex::test {

using XConnection = std::unique_ptr<Display, int (*)(Display*)>;

inline XConnection openX(const QString& display) {
    return {XOpenDisplay(display.toLocal8Bit().constData()), XCloseDisplay};
}

inline XEvent protocolMessage(Display* connection, const QString& window, const char* protocol) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window.toULong();
    event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(connection, protocol, False));
    event.xclient.data.l[1] = CurrentTime;
    return event;
}

// What a window manager sends when the user closes a window: WM_DELETE_WINDOW.
inline bool askWindowToClose(const QString& display, const QString& window) {
    const XConnection connection = openX(display);
    if (!connection) return false;
    XEvent event = protocolMessage(connection.get(), window, "WM_DELETE_WINDOW");
    const bool sent =
        XSendEvent(connection.get(), event.xclient.window, False, NoEventMask, &event) != 0;
    XSync(connection.get(), False);
    return sent;
}

// Whether the window's thread answers a window manager's _NET_WM_PING within
// timeoutMs: a thread that hangs cannot, whatever the X server still shows.
inline bool answersPing(const QString& display, const QString& window, int timeoutMs) {
    const XConnection connection = openX(display);
    if (!connection || window.isEmpty()) return false;
    Display* x = connection.get();
    const Window root = DefaultRootWindow(x);
    // Qt sends its answer to the root window for StructureNotify listeners.
    XSelectInput(x, root, StructureNotifyMask);
    XEvent ping = protocolMessage(x, window, "_NET_WM_PING");
    static long nextStamp = 1;
    const long stamp = nextStamp++;
    ping.xclient.data.l[1] = stamp;
    ping.xclient.data.l[2] = long(window.toULong());
    XSendEvent(x, ping.xclient.window, False, NoEventMask, &ping);
    XFlush(x);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (XPending(x) > 0) {
            XEvent event;
            XNextEvent(x, &event);
            if (event.type == ClientMessage && event.xclient.window == root &&
                event.xclient.data.l[0] == ping.xclient.data.l[0] &&
                event.xclient.data.l[1] == stamp) {
                return true;
            }
        }
        if (deadline.hasExpired()) return false;
        pollfd readable{ConnectionNumber(x), POLLIN, 0};
        ::poll(&readable, 1, int(qMin<qint64>(deadline.remainingTime(), 50)));
    }
}

// The window that window names as the one it stays above, or 0.
inline unsigned long transientFor(const QString& display, const QString& window) {
    const XConnection connection = openX(display);
    Window owner = 0;
    if (!connection || !XGetTransientForHint(connection.get(), window.toULong(), &owner)) return 0;
    return owner;
}

}  // namespace ornavex::test
