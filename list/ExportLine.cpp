#include "list/ExportLine.h"

#include "list/DecimalText.h"

#include <charconv>
#include <cstdint>
#include <vector>

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

    std::vector<uint8_t> bytes;
    bytes.reserve(code.size() / 2);
    for (size_t i = 0; i + 1 < code.size(); i += 2) {
        const char* const pair = code.data() + i;
        uint8_t byte = 0;
        // Both characters must be digits: a pair such as "A-" ends the code.
        const auto [end, error] = std::from_chars(pair, pair + 2, byte, 16);
        if (error != std::errc{} || end != pair + 2)
            break;
        bytes.push_back(byte);
    }
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
