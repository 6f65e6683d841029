#include "keyboard/xkb/StrokePlanner.h"

#include "keyboard/KeystrokeInjector.h"
#include "keyboard/xkb/XkbKeycodeOffset.h"

#include <algorithm>
#include <memory>

namespace pelvaro {

namespace {

// The keys a virtual evdev keyboard has: the main block, keypad and the usual extra keys.
constexpr xkb_keycode_t kLastKey = 255 + kXkbOffset;

std::optional<xkb_keycode_t> keyGiving(xkb_keymap* keymap, xkb_keysym_t keysym) {
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap);
         ++key) {
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &syms) == 1 && syms[0] == keysym)
            return key;
    }
    return std::nullopt;
}

} // namespace

StrokePlanner::StrokePlanner(xkb_keymap* keymap) : keymap_(xkb_keymap_ref(keymap)) {
    shiftKey_ = keyGiving(keymap, XKB_KEY_Shift_L);
    const auto levelThree = keyGiving(keymap, XKB_KEY_ISO_Level3_Shift);
    chords_.push_back({});
    if (shiftKey_)
        chords_.push_back({*shiftKey_});
    if (levelThree)
        chords_.push_back({*levelThree});
    if (shiftKey_ && levelThree)
        chords_.push_back({*shiftKey_, *levelThree});
    capsLockKey_ = keyGiving(keymap, XKB_KEY_Caps_Lock);
}

StrokePlanner::~StrokePlanner() {
    xkb_keymap_unref(keymap_);
}

xkb_mod_mask_t StrokePlanner::modifierMask(const char* name) const {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap_, name);
    return index == XKB_MOD_INVALID ? 0 : 1u << index;
}

std::optional<PlannedStroke> StrokePlanner::plan(char32_t character,
                                                 const ModifierState& state) const {
    if (auto stroke = planUnder(character, state))
        return stroke;
    const xkb_mod_mask_t caps = modifierMask(XKB_MOD_NAME_CAPS);
    if (!capsLockKey_ || !caps)
        return std::nullopt;
    // Caps Lock on undoes a Shift held elsewhere for letters; off, it lets
    // the lower case through.
    ModifierState toggled = state;
    toggled.locked ^= caps;
    auto stroke = planUnder(character, toggled);
    if (stroke)
        stroke->toggleCapsLock = true;
    return stroke;
}

std::optional<PlannedStroke> StrokePlanner::planUnder(char32_t character,
                                                      const ModifierState& state) const {
    using State = std::unique_ptr<xkb_state, decltype(&xkb_state_unref)>;
    for (const std::vector<xkb_keycode_t>& chord : chords_) {
        const State held(xkb_state_new(keymap_), &xkb_state_unref);
        if (!held)
            return std::nullopt;
        for (const xkb_keycode_t modifier : chord)
            xkb_state_update_key(held.get(), modifier, XKB_KEY_DOWN);
        const xkb_mod_mask_t ours = xkb_state_serialize_mods(held.get(), XKB_STATE_MODS_DEPRESSED);
        xkb_state_update_mask(held.get(), state.depressed | ours, state.latched, state.locked, 0, 0,
                              state.group);
        const xkb_keycode_t last = std::min(xkb_keymap_max_keycode(keymap_), kLastKey);
        for (xkb_keycode_t key = kXkbOffset + 1; key <= last; ++key) {
            if (std::find(chord.begin(), chord.end(), key) != chord.end())
                continue;
            // Return's key gives a carriage return, so it is found by its keysym.
            const bool gives = character == kEnterKey
                                   ? xkb_state_key_get_one_sym(held.get(), key) == XKB_KEY_Return
                                   : xkb_state_key_get_utf32(held.get(), key) == character;
            if (gives)
                return PlannedStroke{chord, key};
        }
    }
    return std::nullopt;
}

} // namespace pelvaro
