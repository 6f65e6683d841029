#pragma once

#include <map>
#include <optional>
#include <utility>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

// What to type: a keysym, and the character that other keysyms may also give
// (0 for a key without one, such as Return).
struct Wanted {
    xkb_keysym_t keysym;
    char32_t character;
};

// kTabKey and kEnterKey are the Tab and Return keys.
Wanted wantedCharacter(char32_t character);

// A key stroke that the keymap turns into the wanted keysym: the key in a
// layout group, pressed with the modifier keys held.
struct KeyStroke {
    xkb_keycode_t key;
    xkb_layout_index_t group;
    std::vector<xkb_keycode_t> modifierKeys;
};

// The keys of a keymap, looked at as the server evaluates them.
class XkbKeySearch {
public:
    explicit XkbKeySearch(xkb_keymap* keymap);
    ~XkbKeySearch();
    XkbKeySearch(const XkbKeySearch&) = delete;
    XkbKeySearch& operator=(const XkbKeySearch&) = delete;

    // The first key and level that gives the keysym itself, else one giving
    // the same character; in the active group before all others, so that the
    // group changes only for a character the active one lacks; lower levels
    // first. Only strokes whose level the held modifiers allow.
    std::optional<KeyStroke> find(const Wanted& wanted, xkb_layout_index_t activeGroup,
                                  xkb_mod_mask_t held);
    // Keys that no layout of this keymap nor of the other one uses, lowest first.
    std::vector<xkb_keycode_t> unusedKeys(const XkbKeySearch& other) const;

private:
    bool unused(xkb_keycode_t key) const;
    xkb_level_index_t levelOf(xkb_keycode_t key, xkb_layout_index_t group, xkb_mod_mask_t mods);
    std::optional<xkb_mod_mask_t> modifiersForLevel(xkb_keycode_t key, xkb_layout_index_t group,
                                                    xkb_layout_index_t keyGroup,
                                                    xkb_level_index_t level, xkb_mod_mask_t held);
    std::optional<std::vector<xkb_keycode_t>> modifierKeys(xkb_mod_mask_t modifiers) const;

    xkb_keymap* keymap_;
    xkb_state* state_;
    // The modifiers each key sets while pressed alone, by keycode.
    std::map<xkb_keycode_t, xkb_mod_mask_t> setsModifiers_;
};

// The spare keys bound to keysyms a keymap lacks, oldest binding first. They
// outlive a text: a busy client looks its keys up late.
class SpareKeys {
public:
    struct Choice {
        std::map<xkb_keysym_t, xkb_keycode_t> keys;
        std::vector<std::pair<xkb_keycode_t, xkb_keysym_t>> toBind;
        // The first keysym no key was left for.
        std::optional<xkb_keysym_t> withoutKey;
    };
    // A key for each missing keysym: the one bound to it already, else the
    // lowest unused key not ours, else our oldest that these keysyms do not
    // need. The new bindings count as made.
    Choice choose(const std::vector<xkb_keysym_t>& missing,
                  const std::vector<xkb_keycode_t>& unused);
    // Takes back the new bindings of a choice that the server refused.
    void refused(Choice& choice);
    // Forgets every binding and returns the keys.
    std::vector<xkb_keycode_t> releaseAll();
    bool empty() const { return bound_.empty(); }

private:
    std::vector<std::pair<xkb_keysym_t, xkb_keycode_t>> bound_;
};

} // namespace pelvaro
