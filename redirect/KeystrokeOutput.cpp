#include "redirect/KeystrokeOutput.h"

#include "text/Utf8Decoding.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace pelvaro {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

} // namespace

PersonnelNumberSource personnelNumbersIn(PersonnelDatabase* database) {
    if (!database)
        return {};
    return [database](std::string_view code) { return database->LookupPersonnelNumber(code); };
}

PersonnelNumberSource askingOnce(PersonnelNumberSource lookup) {
    if (!lookup)
        return {};
    auto answer = std::make_shared<std::optional<PersonnelLookup>>();
    return [lookup = std::move(lookup), answer](std::string_view code) {
        if (!*answer)
            *answer = lookup(code);
        return **answer;
    };
}

std::string UpperCaseCode(std::string_view code) {
    std::string upper(code);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return upper;
}

std::string StoredPersonnelNumber(std::string_view code, const PersonnelNumberSource& lookup) {
    return lookup ? lookup(UpperCaseCode(code)).personnelNumber.value_or("") : std::string();
}

std::string TextToType(std::string_view currentCode, bool substitute,
                       const PersonnelNumberSource& lookup) {
    std::string code = UpperCaseCode(currentCode);
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

std::string typingTroubleText(const TypingResult& result) {
    std::string text = typingResultText(result);
    text.front() = static_cast<char>(text.front() - 'a' + 'A');
    return text;
}

} // namespace pelvaro
