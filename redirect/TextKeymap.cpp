#include "redirect/TextKeymap.h"

#include "redirect/KeystrokeInjector.h"
#include "redirect/XkbKeycodeOffset.h"

#include <algorithm>
#include <array>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

namespace {

std::string keysymName(xkb_keysym_t keysym) {
    std::array<char, 64> name{};
    xkb_keysym_get_name(keysym, name.data(), name.size());
    return name.data();
}

} // namespace

TextKeymap makeTextKeymap(std::u32string_view text) {
    std::vector<char32_t> distinct;
    TextKeymap keymap;
    for (const char32_t character : text) {
        auto found = std::find(distinct.begin(), distinct.end(), character);
        if (found == distinct.end())
            found = distinct.insert(distinct.end(), character);
        keymap.keys.push_back(static_cast<uint32_t>(found - distinct.begin()) + 1);
    }
    keymap.returnKey = static_cast<uint32_t>(distinct.size()) + 1;

    std::string codes;
    std::string symbols;
    const auto addKey = [&](uint32_t key, xkb_keysym_t keysym) {
        const std::string name = "<K" + std::to_string(key) + ">";
        codes += "    " + name + " = " + std::to_string(key + kXkbOffset) + ";\n";
        symbols += "    key " + name + " { [ " + keysymName(keysym) + " ] };\n";
    };
    for (size_t index = 0; index < distinct.size(); ++index) {
        // A character without a keysym of its own (a control character) still
        // gets a key, one that gives nothing. Tab has its keysym by the Unicode rule.
        const xkb_keysym_t keysym =
            distinct[index] == kEnterKey ? XKB_KEY_Return : xkb_utf32_to_keysym(distinct[index]);
        addKey(static_cast<uint32_t>(index) + 1, keysym ? keysym : XKB_KEY_VoidSymbol);
    }
    addKey(keymap.returnKey, XKB_KEY_Return);
    keymap.text = "xkb_keymap {\n"
                  "xkb_keycodes \"pelvaro\" {\n    minimum = 8;\n    maximum = " +
                  std::to_string(std::max<uint32_t>(keymap.returnKey + kXkbOffset, 255)) + ";\n" +
                  codes +
                  "};\n"
                  "xkb_types \"pelvaro\" { include \"complete\" };\n"
                  "xkb_compatibility \"pelvaro\" { include \"complete\" };\n"
                  "xkb_symbols \"pelvaro\" {\n" +
                  symbols + "};\n};\n";
    return keymap;
}

} // namespace pelvaro
