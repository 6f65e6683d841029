#include "app/WindowFrame.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <optional>

#include <QtGui/qguiapplication_platform.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace pelvaro {

namespace {

// Left, right, top and bottom as the manager set them; nothing without a note.
std::optional<QSize> noteOfTheManager(const QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (!display || !window.windowHandle())
        return std::nullopt;
    const Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", True);
    if (extents == None)
        return std::nullopt;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window.winId(), extents, 0, 4, False, XA_CARDINAL, &type,
                           &format, &count, &after, &data) != Success ||
        !data)
        return std::nullopt;
    std::optional<QSize> size;
    if (type == XA_CARDINAL && format == 32 && count == 4) {
        const auto* sides = reinterpret_cast<const long*>(data); // format 32 is long
        size = QSize(static_cast<int>(sides[0] + sides[1]), static_cast<int>(sides[2] + sides[3]));
    }
    XFree(data);
    return size;
}

} // namespace

QSize windowFrameSize(const QWidget& window) {
    if (const auto noted = noteOfTheManager(window))
        return *noted;
    return window.frameGeometry().size() - window.geometry().size();
}

} // namespace pelvaro
