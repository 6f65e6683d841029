#include "KeystrokeOutput.h"

#include <algorithm>
#include <cstdint>

namespace pelvaro {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

struct Decoded {
    char32_t character;
    size_t length;
};

// The first character of a non-empty text. Overlong forms, surrogates and
// truncated sequences are refused byte by byte, as U+FFFD of length 1.
Decoded decodeFirst(std::string_view text) {
    const auto byteAt = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byteAt(0);
    if (lead < 0x80)
        return {lead, 1};
    // Leads 0xC2..0xF4 only; the second byte's range excludes the overlong
    // forms (after 0xE0, 0xF0), the surrogates (0xED) and values past U+10FFFF (0xF4).
    const size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || text.size() < length)
        return {kReplacementCharacter, 1};
    const uint8_t secondLow = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t secondHigh = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    char32_t character = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const uint8_t low = i == 1 ? secondLow : 0x80;
        const uint8_t high = i == 1 ? secondHigh : 0xBF;
        if (byteAt(i) < low || byteAt(i) > high)
            return {kReplacementCharacter, 1};
        character = character << 6 | (byteAt(i) & 0x3F);
    }
    return {character, length};
}

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
        const Decoded decoded = decodeFirst(text);
        allSent = injector.typeCharacter(decoded.character) && allSent;
        text.remove_prefix(decoded.length);
    }
    if (enter)
        allSent = injector.pressEnter() && allSent;
    return allSent;
}

} // namespace pelvaro
