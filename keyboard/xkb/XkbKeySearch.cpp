#include "keyboard/xkb/XkbKeySearch.h"

#include "keyboard/KeystrokeInjector.h"

#include <algorithm>
#include <array>
#include <memory>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace pelvaro {

Wanted wantedCharacter(char32_t character) {
    if (character == kTabKey)
        return {XKB_KEY_Tab, 0};
    if (character == kEnterKey)
        return {XKB_KEY_Return, 0};
    // Latin-1 characters are their own keysyms; all others have one by the Unicode rule.
    const bool latin1 =
        (character >= 0x20 && character <= 0x7E) || (character >= 0xA0 && character <= 0xFF);
    return {latin1 ? character : 0x01000000 + character, character};
}

XkbKeySearch::XkbKeySearch(xkb_keymap* keymap)
    : keymap_(xkb_keymap_ref(keymap)), state_(xkb_state_new(keymap)) {
    // Pressed alone, in a state of its own: a lock or latch stays behind.
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap);
         ++key) {
        const std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> pressed(xkb_state_new(keymap),
                                                                              &xkb_state_unref);
        if (!pressed)
            continue;
        xkb_state_update_key(pressed.get(), key, XKB_KEY_DOWN);
        const xkb_mod_mask_t sets = xkb_state_serialize_mods(pressed.get(), XKB_STATE_MODS_DEPRESSED);
        if (sets != 0)
            setsModifiers_[key] = sets;
    }
}

XkbKeySearch::~XkbKeySearch() {
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
}

xkb_level_index_t XkbKeySearch::levelOf(xkb_keycode_t key, xkb_layout_index_t group,
                                        xkb_mod_mask_t mods) {
    xkb_state_update_mask(state_, mods, 0, 0, 0, 0, group);
    return xkb_state_key_get_level(state_, key, xkb_state_key_get_layout(state_, key));
}

// The modifiers to add to those held so that the key type selects the level;
// nothing if the held ones rule the level out.
std::optional<xkb_mod_mask_t> XkbKeySearch::modifiersForLevel(xkb_keycode_t key,
                                                              xkb_layout_index_t group,
                                                              xkb_layout_index_t keyGroup,
                                                              xkb_level_index_t level,
                                                              xkb_mod_mask_t held) {
    if (level == 0)
        return levelOf(key, group, held) == 0 ? std::optional(0u) : std::nullopt;
    std::array<xkb_mod_mask_t, 32> masks{};
    const size_t count = xkb_keymap_key_get_mods_for_level(keymap_, key, keyGroup, level,
                                                           masks.data(), masks.size());
    for (size_t i = 0; i < count; ++i) {
        const xkb_mod_mask_t added = masks[i] & ~held;
        if (levelOf(key, group, held | added) == level)
            return added;
    }
    return std::nullopt;
}

// Keys whose press sets exactly some of these modifiers, together all of them.
std::optional<std::vector<xkb_keycode_t>> XkbKeySearch::modifierKeys(xkb_mod_mask_t modifiers) const {
    std::vector<xkb_keycode_t> keys;
    xkb_mod_mask_t missing = modifiers;
    for (auto entry = setsModifiers_.begin(); entry != setsModifiers_.end() && missing; ++entry) {
        const auto [key, sets] = *entry;
        if ((sets & ~modifiers) == 0 && (sets & missing) != 0) {
            keys.push_back(key);
            missing &= ~sets;
        }
    }
    return missing ? std::nullopt : std::optional(keys);
}

std::optional<KeyStroke> XkbKeySearch::find(const Wanted& wanted, xkb_layout_index_t activeGroup,
                                            xkb_mod_mask_t held) {
    std::vector<xkb_layout_index_t> groupOrder{activeGroup};
    for (xkb_layout_index_t group = 0; group < xkb_keymap_num_layouts(keymap_); ++group) {
        if (group != activeGroup)
            groupOrder.push_back(group);
    }
    for (const bool exact : {true, false}) {
        if (!exact && wanted.character == 0)
            break;
        for (const xkb_layout_index_t group : groupOrder) {
            for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_);
                 key <= xkb_keymap_max_keycode(keymap_); ++key) {
                xkb_state_update_mask(state_, 0, 0, 0, 0, 0, group);
                // The group the key takes its symbols from, by its own rule
                // when it has fewer.
                const xkb_layout_index_t keyGroup = xkb_state_key_get_layout(state_, key);
                if (keyGroup == XKB_LAYOUT_INVALID)
                    continue;
                const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap_, key, keyGroup);
                for (xkb_level_index_t level = 0; level < levels; ++level) {
                    const xkb_keysym_t* syms = nullptr;
                    if (xkb_keymap_key_get_syms_by_level(keymap_, key, keyGroup, level, &syms) != 1)
                        continue;
                    const bool gives = exact ? syms[0] == wanted.keysym
                                             : xkb_keysym_to_utf32(syms[0]) == wanted.character;
                    if (!gives)
                        continue;
                    const auto added = modifiersForLevel(key, group, keyGroup, level, held);
                    const auto keys = added ? modifierKeys(*added) : std::nullopt;
                    if (keys)
                        return KeyStroke{key, group, *keys};
                }
            }
        }
    }
    return std::nullopt;
}

bool XkbKeySearch::unused(xkb_keycode_t key) const {
    return key >= xkb_keymap_min_keycode(keymap_) && key <= xkb_keymap_max_keycode(keymap_) &&
           xkb_keymap_num_layouts_for_key(keymap_, key) == 0;
}

std::vector<xkb_keycode_t> XkbKeySearch::unusedKeys(const XkbKeySearch& other) const {
    std::vector<xkb_keycode_t> keys;
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_); key <= xkb_keymap_max_keycode(keymap_);
         ++key) {
        if (unused(key) && other.unused(key))
            keys.push_back(key);
    }
    return keys;
}

SpareKeys::Choice SpareKeys::choose(const std::vector<xkb_keysym_t>& missing,
                                    const std::vector<xkb_keycode_t>& unused) {
    const auto neededHere = [&](xkb_keysym_t keysym) {
        return std::find(missing.begin(), missing.end(), keysym) != missing.end();
    };
    const auto isOurs = [&](xkb_keycode_t key) {
        return std::any_of(bound_.begin(), bound_.end(),
                           [&](const auto& binding) { return binding.second == key; });
    };
    Choice choice;
    auto nextUnused = unused.begin();
    for (const xkb_keysym_t keysym : missing) {
        const auto ours = std::find_if(bound_.begin(), bound_.end(), [&](const auto& binding) {
            return binding.first == keysym;
        });
        if (ours != bound_.end()) {
            choice.keys[keysym] = ours->second;
            continue;
        }
        nextUnused = std::find_if_not(nextUnused, unused.end(), isOurs);
        std::optional<xkb_keycode_t> key;
        if (nextUnused != unused.end()) {
            key = *nextUnused++;
        } else {
            const auto reusable = std::find_if(bound_.begin(), bound_.end(),
                                               [&](const auto& b) { return !neededHere(b.first); });
            if (reusable != bound_.end()) {
                key = reusable->second;
                bound_.erase(reusable);
            }
        }
        if (!key) {
            choice.withoutKey = keysym;
            break;
        }
        choice.keys[keysym] = *key;
        bound_.emplace_back(keysym, *key);
        choice.toBind.emplace_back(*key, keysym);
    }
    return choice;
}

void SpareKeys::refused(Choice& choice) {
    for (const auto& [key, keysym] : choice.toBind) {
        choice.keys.erase(keysym);
        std::erase_if(bound_, [&](const auto& binding) { return binding.second == key; });
    }
    choice.toBind.clear();
}

std::vector<xkb_keycode_t> SpareKeys::releaseAll() {
    std::vector<xkb_keycode_t> keys;
    for (const auto& binding : bound_)
        keys.push_back(binding.second);
    bound_.clear();
    return keys;
}

} // namespace pelvaro
