#pragma once

#include <X11/Xlib.h>

namespace pelvaro {

// Catches X errors of one connection while it lives; errors of other
// connections go to the handler that was there before.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    // Also drops the events queued for the connection: it reads none, and map
    // changes are sent to every client.
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Whether an error arrived for any request sent so far.
    bool failed();

private:
    static int handle(Display* display, XErrorEvent* error);

    static thread_local ErrorTrap* active_;
    Display* display_;
    ErrorTrap* outer_;
    XErrorHandler previous_;
    bool failed_ = false;
};

} // namespace pelvaro
