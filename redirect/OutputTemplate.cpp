#include "redirect/OutputTemplate.h"

#include "text/CodeNumbers.h"
#include "text/DecimalText.h"
#include "text/HexPairs.h"

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

std::optional<OutputTemplate> OutputTemplate::parse(std::string_view text, std::string& error) {
    constexpr std::string_view kWhere = " in der Ausgabevorlage";
    std::vector<Part> parts;
    std::string literal;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const bool doubled = i + 1 < text.size() && text[i + 1] == c;
        if ((c == '{' || c == '}') && doubled) {
            literal += c;
            i += 2;
        } else if (c == '}') {
            error = "Einzelne Klammer }" + std::string(kWhere) + " (eine Klammer als Text: }})";
            return std::nullopt;
        } else if (c == '{') {
            const size_t close = text.find_first_of("{}", i + 1);
            if (close == std::string_view::npos || text[close] == '{') {
                error = "Nicht geschlossener Platzhalter " +
                        std::string(text.substr(i, close - i)) + std::string(kWhere) +
                        " (eine Klammer als Text: {{)";
                return std::nullopt;
            }
            const std::string_view placeholder = text.substr(i, close + 1 - i);
            const auto field = placeholderField(placeholder.substr(1, placeholder.size() - 2));
            if (!field) {
                error = "Unbekannter Platzhalter " + std::string(placeholder) + std::string(kWhere);
                return std::nullopt;
            }
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
    return OutputTemplate(std::move(parts));
}

bool OutputTemplate::namesPersonnelNumber() const {
    return std::find(parts_.begin(), parts_.end(), Part(Field::PersonnelNumber)) != parts_.end();
}

std::string OutputTemplate::render(const CardRead& card) const {
    const std::vector<uint8_t> bytes = HexPairBytes(card.code);
    const PersonnelNumberSource lookup = askingOnce(card.lookup);
    std::string text;
    for (const Part& part : parts_) {
        if (const auto* literal = std::get_if<std::string>(&part))
            text += *literal;
        else
            text += fieldText(std::get<Field>(part), card, bytes, lookup);
    }
    return text;
}

} // namespace pelvaro
