#include "redirect/KeystrokeOutput.h"

#include "text/Utf8Decoding.h"

#include <algorithm>

namespace pelvaro {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

} // namespace

std::string TextToType(std::string_view currentCode, bool substitute,
                       const PersonnelNumberSource& lookup) {
    std::string code(currentCode);
    std::transform(code.begin(), code.end(), code.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    if (!substitute)
        return code;
    PersonnelLookup found = lookup(code);
    return found.personnelNumber ? std::move(*found.personnelNumber) : code;
}

std::u32string decodeText(std::string_view text) {
    std::u32string characters;
    while (!text.empty()) {
        const Utf8Character character = decodeUtf8Front(text);
        characters.push_back(character.wellFormed ? character.codePoint : kReplacementCharacter);
        text.remove_prefix(character.length);
    }
    return characters;
}

bool sendKeystrokes(KeystrokeInjector& injector, std::string_view text, bool enter) {
    return injector.typeText(decodeText(text), enter);
}

} // namespace pelvaro
