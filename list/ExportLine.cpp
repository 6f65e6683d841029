#include "list/ExportLine.h"

#include "text/DecimalText.h"
#include "text/HexPairs.h"

namespace pelvaro {

namespace {

// Unsigned, so that 8-bit letters such as 0xE4 are not taken for control
// characters.
bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlankOrControl(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string BuildExportLine(std::string_view label, std::string_view code) {
    label = trimmed(label);
    code = trimmed(code);

    const std::vector<uint8_t> bytes = HexPairBytes(code);
    const std::string decimal = CodeToDecimal(bytes);

    std::string line;
    line.reserve(label.size() + bytes.size() * 3 + decimal.size() + 2);
    line += label;
    line += ';';
    for (size_t i = 0; i < bytes.size(); ++i) {
        line += code.substr(2 * i, 2);
        line += ' ';
    }
    line += ';';
    line += decimal;
    return line;
}

} // namespace pelvaro
