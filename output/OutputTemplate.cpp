#include "output/OutputTemplate.h"

#include "text/CodeNumbers.h"
#include "text/DecimalText.h"
#include "text/HexPairs.h"
#include "text/Utf8Decoding.h"

#include <algorithm>
#include <array>
#include <utility>

namespace pelvaro {

namespace {

using Field = OutputTemplate::Field;

constexpr std::array<std::pair<std::string_view, Field>, 11> kPlaceholders = {{
    {"code", Field::Code},
    {"hex", Field::Hex},
    {"rhex", Field::ReversedHex},
    {"dec", Field::Decimal},
    {"dec10", Field::TenDigitDecimal},
    {"w26", Field::Wiegand26},
    {"pnr", Field::PersonnelNumber},
    {"date", Field::Date},
    {"time", Field::Time},
    {"tab", Field::Tab},
    {"enter", Field::Enter},
}};

// How much of a faulty template an error message quotes.
constexpr size_t kQuotedCharacters = 20;

// The bytes of the first characters of UTF-8 text, at most count of them.
size_t firstCharacters(std::string_view text, size_t count) {
    size_t bytes = 0;
    for (; bytes < text.size() && count > 0; --count)
        bytes += decodeUtf8Front(text.substr(bytes)).length;
    return bytes;
}

// A part of the template for an error message: a long one cut short.
std::string quotedPart(std::string_view text) {
    const size_t bytes = firstCharacters(text, kQuotedCharacters);
    return std::string(text.substr(0, bytes)) + (bytes < text.size() ? "…" : "");
}

// The text without control characters (C0, DEL, C1): typed, they would be
// keys such as Escape, BackSpace and Delete. TAB and ENTER come only from
// their placeholders.
std::string withoutControlCharacters(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    while (!text.empty()) {
        const Utf8Character character = decodeUtf8Front(text);
        const char32_t c = character.codePoint;
        if (!character.wellFormed || (c >= 0x20 && c != 0x7F && (c < 0x80 || c > 0x9F)))
            kept += text.substr(0, character.length);
        text.remove_prefix(character.length);
    }
    return kept;
}

std::optional<Field> placeholderField(std::string_view name) {
    const auto known = std::find_if(kPlaceholders.begin(), kPlaceholders.end(),
                                    [name](const auto& entry) { return entry.first == name; });
    return known == kPlaceholders.end() ? std::nullopt : std::optional(known->second);
}

// The text of one field for the card; bytes and the personnel number source
// are worked out once per card by the caller.
std::string fieldText(Field field, const CardRead& card, const std::vector<uint8_t>& bytes,
                      const PersonnelNumberSource& lookup) {
    switch (field) {
    case Field::Code:
        return TextToType(card.code, card.substitute && lookup, lookup);
    case Field::Hex:
        return UpperCaseCode(card.code);
    case Field::ReversedHex:
        return ReversedHexText(bytes);
    case Field::Decimal:
        return CodeToDecimal(bytes);
    case Field::TenDigitDecimal:
        return TenDigitDecimalText(bytes);
    case Field::Wiegand26:
        return Wiegand26Text(bytes);
    case Field::PersonnelNumber:
        return StoredPersonnelNumber(card.code, lookup);
    case Field::Date:
        return DateText(card.time);
    case Field::Time:
        return TimeOfDayText(card.time);
    case Field::Tab:
        return "\t";
    case Field::Enter:
        return "\n";
    }
    return {};
}

} // namespace

OutputTemplate::OutputTemplate() : parts_{Field::Code} {}

ParsedTemplate OutputTemplate::parse(std::string_view text) {
    using enum TemplateProblem::Kind;
    const auto refused = [](TemplateProblem::Kind kind, std::string_view part) {
        return ParsedTemplate{std::nullopt, {kind, std::string(part)}};
    };
    if (firstCharacters(text, kMaxCharacters) < text.size())
        return refused(TooLong, text);
    std::vector<Part> parts;
    std::string literal;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const bool doubled = i + 1 < text.size() && text[i + 1] == c;
        if ((c == '{' || c == '}') && doubled) {
            literal += c;
            i += 2;
        } else if (c == '}') {
            return refused(StrayClosingBrace, "}");
        } else if (c == '{') {
            const size_t close = text.find_first_of("{}", i + 1);
            if (close == std::string_view::npos || text[close] == '{')
                return refused(OpenPlaceholder, text.substr(i, close - i));
            const std::string_view placeholder = text.substr(i, close + 1 - i);
            const auto field = placeholderField(placeholder.substr(1, placeholder.size() - 2));
            if (!field)
                return refused(UnknownPlaceholder, placeholder);
            if (!literal.empty())
                parts.emplace_back(std::exchange(literal, {}));
            parts.emplace_back(*field);
            i = close + 1;
        } else {
            literal += c;
            ++i;
        }
    }
    if (!literal.empty())
        parts.emplace_back(std::move(literal));
    return {OutputTemplate(std::move(parts)), {}};
}

std::string templateProblemText(const TemplateProblem& problem) {
    using enum TemplateProblem::Kind;
    constexpr std::string_view kWhere = " in der Ausgabevorlage";
    switch (problem.kind) {
    case None:
        break;
    case TooLong:
        return "Die Ausgabevorlage ist länger als " +
               std::to_string(OutputTemplate::kMaxCharacters) +
               " Zeichen: " + quotedPart(problem.part);
    case StrayClosingBrace:
        return "Einzelne Klammer }" + std::string(kWhere) + " (eine Klammer als Text: }})";
    case OpenPlaceholder:
        return "Nicht geschlossener Platzhalter " + quotedPart(problem.part) + std::string(kWhere) +
               " (eine Klammer als Text: {{)";
    case UnknownPlaceholder:
        return "Unbekannter Platzhalter " + quotedPart(problem.part) + std::string(kWhere);
    }
    return {};
}

bool OutputTemplate::namesPersonnelNumber() const {
    return std::find(parts_.begin(), parts_.end(), Part(Field::PersonnelNumber)) != parts_.end();
}

std::string OutputTemplate::render(const CardRead& card) const {
    const std::vector<uint8_t> bytes = HexPairBytes(card.code);
    const PersonnelNumberSource lookup = askingOnce(card.lookup);
    std::string text;
    for (const Part& part : parts_) {
        const Field* field = std::get_if<Field>(&part);
        if (field && (*field == Field::Tab || *field == Field::Enter))
            text += fieldText(*field, card, bytes, lookup);
        else
            text += withoutControlCharacters(field ? fieldText(*field, card, bytes, lookup)
                                                   : std::get<std::string>(part));
    }
    return text;
}

} // namespace pelvaro
