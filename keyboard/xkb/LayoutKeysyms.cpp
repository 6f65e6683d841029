#include "keyboard/xkb/LayoutKeysyms.h"

#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

std::optional<std::unordered_set<uint32_t>> layoutKeysyms(const std::string& keymapText) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return std::nullopt;
    xkb_keymap* keymap = xkb_keymap_new_from_string(
        context, keymapText.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    std::optional<std::unordered_set<uint32_t>> keysyms;
    if (keymap) {
        keysyms.emplace();
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap);
             key <= xkb_keymap_max_keycode(keymap); ++key) {
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, key, 0);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                const xkb_keysym_t* syms = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, level, &syms);
                keysyms->insert(syms, syms + count);
            }
        }
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return keysyms;
}

} // namespace pelvaro
