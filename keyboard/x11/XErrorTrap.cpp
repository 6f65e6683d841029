#include "keyboard/x11/XErrorTrap.h"

namespace pelvaro {

thread_local ErrorTrap* ErrorTrap::active_ = nullptr;

ErrorTrap::ErrorTrap(Display* display)
    : display_(display), outer_(active_), previous_(XSetErrorHandler(&handle)) {
    active_ = this;
}

ErrorTrap::~ErrorTrap() {
    XSync(display_, True);
    XSetErrorHandler(previous_);
    active_ = outer_;
}

bool ErrorTrap::failed() {
    XSync(display_, False);
    return failed_;
}

int ErrorTrap::handle(Display* display, XErrorEvent* error) {
    if (active_ && active_->display_ == display) {
        active_->failed_ = true;
        return 0;
    }
    return active_ && active_->previous_ ? active_->previous_(display, error) : 0;
}

} // namespace pelvaro
