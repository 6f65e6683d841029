#pragma once

#include <X11/Xlib.h>
#include <memory>
#include <optional>
#include <set>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

// The keyboard the server takes as ours: the master keyboard that our fake
// key events go to.
std::optional<int> coreKeyboard(Display* display);

// The XTest keyboard that our fake key events come from. Its map, not
// necessarily the user's, is the one in force when they arrive: the server
// switches the core keyboard to the map of the device that sent the event.
std::optional<int> xtestKeyboard(Display* display);

struct KeymapRelease {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
using Keymap = std::unique_ptr<xkb_keymap, KeymapRelease>;

// The keymap of a keyboard device as the server has it now; null on an error.
Keymap deviceKeymap(Display* display, xkb_context* context, int device);

// The keys that the core keyboard counts as modifiers, whatever their symbols.
std::set<KeyCode> coreModifierKeys(Display* display);

} // namespace pelvaro
