#include "tests/e2e/NotificationArea.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <functional>
#include <string_view>

namespace pelvaro::test {

namespace {

// Windows come and go while the test looks at them; a request about one that
// has just gone fails, and the caller sees the failure in its result.
int ignoreError(Display*, XErrorEvent*) {
    return 0;
}

struct WindowClass {
    std::string name;
    std::string className;
};

WindowClass windowClass(Display* display, Window window) {
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint))
        return {};
    WindowClass result{hint.res_name ? hint.res_name : "", hint.res_class ? hint.res_class : ""};
    XFree(hint.res_name);
    XFree(hint.res_class);
    return result;
}

bool isViewable(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

// Calls visit for every window below the root, with whether a panel window
// (class "trayer") is among its ancestors; stops when visit returns true.
bool walkTree(Display* display, Window window, bool inPanel,
              const std::function<bool(Window, bool)>& visit) {
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return false;
    bool stop = false;
    for (unsigned int i = 0; i < count && !stop; ++i) {
        const Window child = children[i];
        const bool childInPanel = inPanel || windowClass(display, child).className == "trayer";
        stop = visit(child, childInPanel) || walkTree(display, child, childInPanel, visit);
    }
    XFree(children);
    return stop;
}

} // namespace

const char* toString(LedColour colour) {
    switch (colour) {
    case LedColour::YellowLit:
        return "yellow lit";
    case LedColour::YellowUnlit:
        return "yellow unlit";
    case LedColour::GreenLit:
        return "green lit";
    case LedColour::Other:
        break;
    }
    return "other";
}

NotificationArea::NotificationArea(const std::string& displayName) : XConnection(displayName) {
    XSetErrorHandler(ignoreError);
}

bool NotificationArea::panelRunning() const {
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display_));
    return XGetSelectionOwner(display_, XInternAtom(display_, selection.c_str(), False)) != None;
}

std::optional<unsigned long> NotificationArea::icon(const std::string& programClass) const {
    std::optional<unsigned long> found;
    walkTree(display_, DefaultRootWindow(display_), false, [&](Window window, bool inPanel) {
        if (inPanel && windowClass(display_, window).name == programClass &&
            isViewable(display_, window))
            found = window;
        return found.has_value();
    });
    return found;
}

ScreenPoint NotificationArea::centre(unsigned long window) const {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    ScreenPoint point;
    Window child = None;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), attributes.width / 2,
                          attributes.height / 2, &point.x, &point.y, &child);
    return point;
}

LedColour NotificationArea::colour(unsigned long window) const {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes))
        return LedColour::Other;
    XImage* image =
        XGetImage(display_, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image)
        return LedColour::Other;
    // The LED's body: the strongly coloured pixels, not the grey panel or the
    // white highlight.
    long red = 0;
    long green = 0;
    long blue = 0;
    long count = 0;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const int r = (pixel & image->red_mask) >> 16;
            const int g = (pixel & image->green_mask) >> 8;
            const int b = pixel & image->blue_mask;
            if (std::max({r, g, b}) - std::min({r, g, b}) < 40)
                continue;
            red += r;
            green += g;
            blue += b;
            ++count;
        }
    }
    XDestroyImage(image);
    if (count == 0)
        return LedColour::Other;
    red /= count;
    green /= count;
    blue /= count;
    const bool lit = std::max(red, green) > 150;
    if (green > 2 * red && green > 2 * blue)
        return lit ? LedColour::GreenLit : LedColour::Other;
    if (red > 2 * blue && green > 2 * blue)
        return lit ? LedColour::YellowLit : LedColour::YellowUnlit;
    return LedColour::Other;
}

bool NotificationArea::showsPopup(const std::string& programClass) const {
    return walkTree(display_, DefaultRootWindow(display_), false, [&](Window window, bool inPanel) {
        XWindowAttributes attributes{};
        return !inPanel && XGetWindowAttributes(display_, window, &attributes) &&
               attributes.map_state == IsViewable && attributes.override_redirect &&
               windowClass(display_, window).name == programClass;
    });
}

bool NotificationArea::viewable(unsigned long window) const {
    return isViewable(display_, window);
}

} // namespace pelvaro::test
