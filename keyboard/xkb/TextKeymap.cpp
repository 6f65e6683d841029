#include "keyboard/xkb/TextKeymap.h"

#include "keyboard/KeystrokeInjector.h"
#include "keyboard/xkb/XkbKeycodeOffset.h"

#include <algorithm>
#include <array>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

namespace {

// XKB key codes up to 255, as X11 clients (Xwayland) take them.
constexpr size_t kMostKeys = 255 - kXkbOffset;

std::string keysymName(xkb_keysym_t keysym) {
    std::array<char, 64> name{};
    xkb_keysym_get_name(keysym, name.data(), name.size());
    return name.data();
}

} // namespace

TextKeymap::TextKeymap() : characters_{kEnterKey} {}

std::vector<char32_t> TextKeymap::missingFrom(std::u32string_view text) const {
    std::vector<char32_t> missing;
    const auto in = [](const std::vector<char32_t>& characters, char32_t character) {
        return std::find(characters.begin(), characters.end(), character) != characters.end();
    };
    for (const char32_t character : text)
        if (!in(characters_, character) && !in(missing, character))
            missing.push_back(character);
    return missing;
}

bool TextKeymap::hold(std::u32string_view text) {
    std::vector<char32_t> missing = missingFrom(text);
    if (missing.empty())
        return false;
    // A text with more characters than the limit alone still gets them all.
    if (characters_.size() + missing.size() > kMostKeys) {
        *this = TextKeymap();
        missing = missingFrom(text);
    }
    characters_.insert(characters_.end(), missing.begin(), missing.end());
    return true;
}

std::vector<uint32_t> TextKeymap::keysOf(std::u32string_view text) const {
    std::vector<uint32_t> keys;
    keys.reserve(text.size());
    for (const char32_t character : text)
        keys.push_back(
            static_cast<uint32_t>(std::find(characters_.begin(), characters_.end(), character) -
                                  characters_.begin() + 1));
    return keys;
}

std::string TextKeymap::text() const {
    std::string codes;
    std::string symbols;
    for (size_t index = 0; index < characters_.size(); ++index) {
        const uint32_t key = static_cast<uint32_t>(index) + 1;
        // A character without a keysym of its own (a control character) still
        // gets a key, one that gives nothing. Tab has its keysym by the Unicode rule.
        const xkb_keysym_t keysym = characters_[index] == kEnterKey
                                        ? XKB_KEY_Return
                                        : xkb_utf32_to_keysym(characters_[index]);
        const std::string name = "<K" + std::to_string(key) + ">";
        codes += "    " + name + " = " + std::to_string(key + kXkbOffset) + ";\n";
        symbols += "    key " + name + " { [ " + keysymName(keysym ? keysym : XKB_KEY_VoidSymbol) +
                   " ] };\n";
    }
    return "xkb_keymap {\n"
           "xkb_keycodes \"pelvaro\" {\n    minimum = 8;\n    maximum = " +
           std::to_string(std::max<size_t>(characters_.size() + kXkbOffset, 255)) + ";\n" + codes +
           "};\n"
           "xkb_types \"pelvaro\" { include \"complete\" };\n"
           "xkb_compatibility \"pelvaro\" { include \"complete\" };\n"
           "xkb_symbols \"pelvaro\" {\n" +
           symbols + "};\n};\n";
}

} // namespace pelvaro
