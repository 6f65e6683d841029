#include "list/Windows1252.h"

#include "text/Utf8Decoding.h"

#include <algorithm>
#include <array>

namespace pelvaro {

namespace {

// The characters of the bytes 0x80..0x9F; 0 where the code page has none.
constexpr std::array<char32_t, 32> kHighControlRange = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

constexpr char kUnmappable = '?';

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
        const Utf8Character character = decodeUtf8Front(utf8);
        text += character.wellFormed ? toWindows1252(character.codePoint) : kUnmappable;
        utf8.remove_prefix(character.length);
    }
    return text;
}

} // namespace pelvaro
