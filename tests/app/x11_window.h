#pragma once

// Speaking to a window as a window manager does. Xlib's macros (Status, Bool,
// None) clash with Qt's headers: include this last.

#include <QDeadlineTimer>
#include <QThread>
#include <memory>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ornavex::test {

using XConnection = std::unique_ptr<Display, int (*)(Display*)>;

inline XConnection openX(const QString& display) {
    return {XOpenDisplay(display.toLocal8Bit().constData()), XCloseDisplay};
}

// A WM_PROTOCOLS message to the window, sent at once; whether it went.
inline bool sendProtocol(Display* connection, const QString& window, const char* protocol,
                         long stamp = CurrentTime) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window.toULong();
    event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(connection, protocol, False));
    event.xclient.data.l[1] = stamp;
    event.xclient.data.l[2] = long(event.xclient.window);
    const bool sent = XSendEvent(connection, event.xclient.window, False, NoEventMask, &event);
    XSync(connection, False);
    return sent;
}

// What a window manager sends when the user closes a window: WM_DELETE_WINDOW.
inline bool askWindowToClose(const QString& display, const QString& window) {
    const XConnection connection = openX(display);
    return connection && sendProtocol(connection.get(), window, "WM_DELETE_WINDOW");
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
    static long nextStamp = 1;
    const long stamp = nextStamp++;
    if (!sendProtocol(x, window, "_NET_WM_PING", stamp)) return false;
    const QDeadlineTimer deadline(timeoutMs);
    XEvent answer;
    while (!deadline.hasExpired()) {
        while (XCheckTypedWindowEvent(x, root, ClientMessage, &answer)) {
            if (answer.xclient.data.l[0] == long(XInternAtom(x, "_NET_WM_PING", False)) &&
                answer.xclient.data.l[1] == stamp) {
                return true;
            }
        }
        QThread::msleep(20);
    }
    return false;
}

// The window that window names as the one it stays above, or 0.
inline unsigned long transientFor(const QString& display, const QString& window) {
    const XConnection connection = openX(display);
    Window owner = 0;
    if (!connection || !XGetTransientForHint(connection.get(), window.toULong(), &owner)) return 0;
    return owner;
}

}  // namespace ornavex::test
