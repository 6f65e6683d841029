#include "Windows1252.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace pelvaro {

namespace {

// The characters of the bytes 0x80..0x9F; 0 where the code page has none.
constexpr std::array<char32_t, 32> kHighControlRange = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

constexpr char kUnmappable = '?';

struct Decoded {
    char32_t codePoint;
    size_t length; // 0: not well-formed
};

// The character at the front of the text, by the table of well-formed UTF-8
// sequences, so that overlong forms and surrogates are refused.
Decoded decodeFront(std::string_view text) {
    const auto lead = static_cast<uint8_t>(text.front());
    if (lead < 0x80)
        return {lead, 1};
    size_t length = 0;
    char32_t codePoint = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead < 0xC2) {
        return {0, 0};
    } else if (lead < 0xE0) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead < 0xF0) {
        length = 3;
        codePoint = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead < 0xF5) {
        length = 4;
        codePoint = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return {0, 0};
    }
    if (text.size() < length)
        return {0, 0};
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<uint8_t>(text[i]);
        if (next < low || next > high)
            return {0, 0};
        codePoint = codePoint << 6 | (next & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {codePoint, length};
}

char toWindows1252(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<char>(codePoint);
    const auto* found = std::find(kHighControlRange.begin(), kHighControlRange.end(), codePoint);
    if (found == kHighControlRange.end())
        return kUnmappable;
    return static_cast<char>(0x80 + (found - kHighControlRange.begin()));
}

} // namespace

std::string utf8ToWindows1252(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    while (!utf8.empty()) {
        const Decoded decoded = decodeFront(utf8);
        if (decoded.length == 0) {
            text += kUnmappable;
            utf8.remove_prefix(1);
        } else {
            text += toWindows1252(decoded.codePoint);
            utf8.remove_prefix(decoded.length);
        }
    }
    return text;
}

} // namespace pelvaro
