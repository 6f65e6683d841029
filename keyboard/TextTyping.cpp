#include "keyboard/TextTyping.h"

#include "text/Utf8Decoding.h"

namespace pelvaro {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

} // namespace

std::u32string decodeText(std::string_view text) {
    std::u32string characters;
    while (!text.empty()) {
        const Utf8Character character = decodeUtf8Front(text);
        characters.push_back(character.wellFormed ? character.codePoint : kReplacementCharacter);
        text.remove_prefix(character.length);
    }
    return characters;
}

TypingResult sendKeystrokes(KeystrokeInjector& injector, std::string_view text, bool enter) {
    return injector.typeText(decodeText(text), enter);
}

std::string typingResultText(const TypingResult& result) {
    switch (result.extent) {
    case TypingResult::Extent::Whole:
        return "getippt";
    case TypingResult::Extent::InPart:
        return "teilweise getippt: " + result.reason;
    case TypingResult::Extent::None:
        break;
    }
    return "nicht getippt: " + result.reason;
}

} // namespace pelvaro
