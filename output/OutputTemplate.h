#pragma once

#include "output/CardText.h"
#include "text/DateTimeText.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelvaro {

// One card read, as its output sees it.
struct CardRead {
    std::string_view code;        // as the reader gave it
    bool substitute = false;      // {code} is the personnel number where one is stored
    PersonnelNumberSource lookup; // empty without a database: no personnel number
    LocalDateTime time;           // when it was read, on the local clock
};

// What is wrong with a template text, and the part of it at fault.
struct TemplateProblem {
    enum class Kind { None, TooLong, StrayClosingBrace, OpenPlaceholder, UnknownPlaceholder };
    Kind kind = Kind::None;
    std::string part; // the placeholder, or the text from an open brace on
};

struct ParsedTemplate;

// The text given out for each card: literal text with placeholders for the
// code written in several ways, the personnel number, the moment of the read
// and the keys TAB and ENTER. "{{" and "}}" are literal braces.
class OutputTemplate {
public:
    // As long as the output dialog lets it be.
    static constexpr size_t kMaxCharacters = 1000;

    // The default: exactly the text redirect mode has always typed.
    OutputTemplate();

    // The template the text describes. A text longer than kMaxCharacters is
    // refused.
    static ParsedTemplate parse(std::string_view text);

    // Whether {pnr} is in it: the personnel number is needed even without
    // substitution.
    bool namesPersonnelNumber() const;

    // The text for the card in UTF-8; the TAB key is U+0009, the ENTER key
    // U+000A, as the keystroke injectors type them. Other control characters,
    // in the template or a personnel number, are left out.
    std::string render(const CardRead& card) const;

    // What a placeholder stands for.
    enum class Field {
        Code,
        Hex,
        ReversedHex,
        Decimal,
        TenDigitDecimal,
        Wiegand26,
        PersonnelNumber,
        Date,
        Time,
        Tab,
        Enter,
    };

private:
    using Part = std::variant<std::string, Field>;
    explicit OutputTemplate(std::vector<Part> parts) : parts_(std::move(parts)) {}

    std::vector<Part> parts_;
};

struct ParsedTemplate {
    std::optional<OutputTemplate> outputTemplate; // none on a problem
    TemplateProblem problem;
};

// The mistake in German, quoting at most the beginning of the part at fault;
// empty for none.
std::string templateProblemText(const TemplateProblem& problem);

} // namespace pelvaro
