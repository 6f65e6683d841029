#pragma once

#include "keyboard/xkb/StrokePlanner.h"

#include <chrono>
#include <memory>
#include <xkbcommon/xkbcommon.h>

struct ei;
struct ei_device;

namespace pelvaro {

struct EiLibrary;

// A keyboard the desktop lends through libei, as a sender: its keymap and
// the modifier state the desktop reports.
class EiKeyboard {
public:
    // Takes the connection; waits at most patience for a keyboard that may
    // send and has an XKB keymap. Null without one.
    static std::unique_ptr<EiKeyboard> connect(const EiLibrary& library, int fd,
                                               std::chrono::milliseconds patience);
    ~EiKeyboard();
    EiKeyboard(const EiKeyboard&) = delete;
    EiKeyboard& operator=(const EiKeyboard&) = delete;

    xkb_keymap* keymap() const { return keymap_; }
    // The modifiers as last reported, after taking in what has arrived.
    ModifierState modifiers();
    // One press or release of an XKB key code; false when the desktop no
    // longer takes keys from us.
    bool key(xkb_keycode_t key, bool pressed);

private:
    EiKeyboard(const EiLibrary& library, ei* context);
    // Reads and handles what has arrived, waiting at most timeout for it.
    void take(std::chrono::milliseconds timeout);
    void takeKeymap();
    bool ready() const { return resumed_ && keymap_; }

    const EiLibrary& library_;
    ei* context_;
    ei_device* device_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    ModifierState modifiers_;
    uint32_t sequence_ = 0;
    bool resumed_ = false;
    bool connected_ = true;
};

} // namespace pelvaro
