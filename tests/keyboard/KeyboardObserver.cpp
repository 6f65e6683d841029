#include "tests/keyboard/KeyboardObserver.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <algorithm>
#include <array>

namespace pelvaro::test {

namespace {

XkbStateRec stateOf(Display* display) {
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    return state;
}

} // namespace

KeyboardObserver::KeyboardObserver(const std::string& displayName) : XConnection(displayName) {
    XkbQueryExtension(display_, nullptr, &xkbEvent_, nullptr, nullptr, nullptr);
    constexpr unsigned long kLocks = XkbModifierLockMask | XkbGroupLockMask;
    XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbStateNotify, kLocks, kLocks);
}

int KeyboardObserver::lockChanges() {
    XSync(display_, False);
    int changes = 0;
    while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
        if (event.type == xkbEvent_ && xkb.any.xkb_type == XkbStateNotify)
            ++changes;
    }
    return changes;
}

bool KeyboardObserver::capsLockOn() const {
    return stateOf(display_).locked_mods & LockMask;
}

unsigned KeyboardObserver::activeGroup() const {
    return stateOf(display_).group;
}

void KeyboardObserver::lockGroup(unsigned group) {
    XkbLockGroup(display_, XkbUseCoreKbd, group);
    XSync(display_, False);
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

void KeyboardObserver::fillSpareKeycodes(int leaveFree) {
    // Spare as the injector sees it: no groups and no modifier in XKB's map.
    XkbDescPtr map = XkbGetMap(display_, XkbAllClientInfoMask, XkbUseCoreKbd);
    std::vector<int> spare;
    for (int key = map->min_key_code; key <= map->max_key_code; ++key) {
        if (XkbKeyNumGroups(map, key) == 0 && map->map->modmap[key] == 0)
            spare.push_back(key);
    }
    XkbFreeKeyboard(map, 0, True);
    spare.erase(spare.begin(),
                spare.begin() + std::min<std::ptrdiff_t>(std::ssize(spare), leaveFree));
    for (const int key : spare) {
        KeySym filler = XK_F35;
        XChangeKeyboardMapping(display_, key, 1, &filler, 1);
    }
    XSync(display_, False);
}

} // namespace pelvaro::test
