#include "app/WindowFrame.h"

#include <QWidget>

namespace pelvaro {

// Windows draws the frame itself and tells Qt its size at once.
QSize windowFrameSize(const QWidget& window) {
    return window.frameGeometry().size() - window.geometry().size();
}

} // namespace pelvaro
