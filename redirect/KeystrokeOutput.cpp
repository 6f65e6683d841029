#include "KeystrokeOutput.h"

#include "Utf8Decoding.h"

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
    if (found.outcome != PersonnelLookup::Outcome::Found)
        return code;
    return std::move(found.text);
}

bool sendKeystrokes(KeystrokeInjector& injector, std::string_view text, bool enter) {
    bool allSent = true;
    while (!text.empty()) {
        // A byte that begins no character is typed as U+FFFD, as a toolkit shows it.
        const Utf8Character character = decodeUtf8Front(text);
        allSent = injector.typeCharacter(character.wellFormed ? character.codePoint
                                                              : kReplacementCharacter) &&
                  allSent;
        text.remove_prefix(character.length);
    }
    if (enter)
        allSent = injector.pressEnter() && allSent;
    return allSent;
}

} // namespace pelvaro
