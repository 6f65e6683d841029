#include "tests/support/XConnection.h"

#include <X11/Xlib.h>
#include <stdexcept>

namespace pelvaro::test {

XConnection::XConnection(const std::string& displayName)
    : display_(XOpenDisplay(displayName.c_str())) {
    if (!display_)
        throw std::runtime_error("cannot reach X server " + displayName);
}

XConnection::~XConnection() {
    XCloseDisplay(display_);
}

} // namespace pelvaro::test
