#pragma once

#include <QSize>

class QWidget;

namespace pelvaro {

// What the window manager's frame adds to a top-level window's size. On X11
// it is read from the manager's own note (_NET_FRAME_EXTENTS), which Qt may
// miss when the frame comes after it first looked; elsewhere, and before the
// window exists, it is what Qt knows.
QSize windowFrameSize(const QWidget& window);

} // namespace pelvaro
