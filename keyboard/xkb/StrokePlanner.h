#pragma once

#include <optional>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

// The modifiers and group the desktop's keyboard state holds, as XKB masks
// of the keymap: what other keyboards hold or have locked.
struct ModifierState {
    xkb_mod_mask_t depressed = 0;
    xkb_mod_mask_t latched = 0;
    xkb_mod_mask_t locked = 0;
    xkb_layout_index_t group = 0;
};

// The keys to hold, then the key to strike; Caps Lock toggled around it when
// the character needs it.
struct PlannedStroke {
    std::vector<xkb_keycode_t> modifierKeys;
    xkb_keycode_t key;
    bool toggleCapsLock = false;
};

// Finds the evdev-range key that types a character through a keymap whose
// state others share: a Caps Lock or Shift already in force counts.
class StrokePlanner {
public:
    explicit StrokePlanner(xkb_keymap* keymap);
    ~StrokePlanner();
    StrokePlanner(const StrokePlanner&) = delete;
    StrokePlanner& operator=(const StrokePlanner&) = delete;

    // The first key, with the fewest modifier keys of ours, that gives the
    // character under the state; else one that gives it with Caps Lock
    // toggled. kEnterKey is the Return key.
    std::optional<PlannedStroke> plan(char32_t character, const ModifierState& state) const;
    std::optional<xkb_keycode_t> capsLockKey() const { return capsLockKey_; }
    // The key of the left Shift, for a stroke that types nothing.
    std::optional<xkb_keycode_t> shiftKey() const { return shiftKey_; }
    // The mask of the named modifier; 0 when the keymap lacks it.
    xkb_mod_mask_t modifierMask(const char* name) const;

private:
    std::optional<PlannedStroke> planUnder(char32_t character, const ModifierState& state) const;

    xkb_keymap* keymap_;
    std::vector<std::vector<xkb_keycode_t>> chords_; // the modifier keys to try, fewest first
    std::optional<xkb_keycode_t> shiftKey_;
    std::optional<xkb_keycode_t> capsLockKey_;
};

} // namespace pelvaro
