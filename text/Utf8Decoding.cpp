#include "text/Utf8Decoding.h"

#include <cstdint>

namespace pelvaro {

Utf8Character decodeUtf8Front(std::string_view text) {
    const auto byteAt = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byteAt(0);
    if (lead < 0x80)
        return {lead, 1, true};
    // Leads 0xC2..0xF4 only; the second byte's range excludes the overlong
    // forms (after 0xE0, 0xF0), the surrogates (0xED) and values past U+10FFFF (0xF4).
    const std::size_t length = lead < 0xC2   ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length == 0 || text.size() < length)
        return {};
    const uint8_t secondLow = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t secondHigh = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    char32_t codePoint = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const uint8_t low = i == 1 ? secondLow : 0x80;
        const uint8_t high = i == 1 ? secondHigh : 0xBF;
        if (byteAt(i) < low || byteAt(i) > high)
            return {};
        codePoint = codePoint << 6 | (byteAt(i) & 0x3F);
    }
    return {codePoint, length, true};
}

} // namespace pelvaro
