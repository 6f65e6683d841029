#include "KeyboardObserver.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <algorithm>
#include <array>
#include <stdexcept>

namespace pelvaro::test {

namespace {

XkbStateRec stateOf(Display* display) {
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    return state;
}

} // namespace

KeyboardObserver::KeyboardObserver(const std::string& displayName)
    : display_(XOpenDisplay(displayName.c_str())) {
    if (!display_)
        throw std::runtime_error("cannot connect to " + displayName);
}

KeyboardObserver::~KeyboardObserver() {
    XCloseDisplay(display_);
}

bool KeyboardObserver::capsLockOn() const {
    return stateOf(display_).locked_mods & LockMask;
}

unsigned KeyboardObserver::activeGroup() const {
    return stateOf(display_).group;
}

bool KeyboardObserver::shiftDown() const {
    std::array<char, 32> keys{};
    XQueryKeymap(display_, keys.data());
    const KeyCode shift = XKeysymToKeycode(display_, XK_Shift_L);
    return (keys[shift / 8] >> (shift % 8)) & 1;
}

std::vector<unsigned long> KeyboardObserver::keyboardMap() const {
    int first = 0;
    int last = 0;
    XDisplayKeycodes(display_, &first, &last);
    int perKey = 0;
    KeySym* keysyms = XGetKeyboardMapping(display_, first, last - first + 1, &perKey);
    std::vector<unsigned long> map(keysyms, keysyms + (last - first + 1) * perKey);
    XFree(keysyms);
    // A leading entry for the width, so that maps of other widths differ.
    map.insert(map.begin(), perKey);
    return map;
}

void KeyboardObserver::fillSpareKeycodes() {
    int first = 0;
    int last = 0;
    XDisplayKeycodes(display_, &first, &last);
    const std::vector<unsigned long> map = keyboardMap();
    const auto perKey = static_cast<int>(map.front());
    for (int key = first; key <= last; ++key) {
        const auto own = map.begin() + 1 + (key - first) * perKey;
        if (std::all_of(own, own + perKey, [](KeySym keysym) { return keysym == NoSymbol; })) {
            KeySym filler = XK_F35;
            XChangeKeyboardMapping(display_, key, 1, &filler, 1);
        }
    }
    XSync(display_, False);
}

} // namespace pelvaro::test
