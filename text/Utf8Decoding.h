#pragma once

#include <cstddef>
#include <string_view>

namespace pelvaro {

// One character at the front of a UTF-8 text.
struct Utf8Character {
    char32_t codePoint = 0;
    std::size_t length = 1; // the bytes it takes; 1 for a byte that begins no character
    bool wellFormed = false;
};

// The character at the front of a non-empty text, by the table of
// well-formed UTF-8 sequences: overlong forms, surrogates, values past
// U+10FFFF and cut-off sequences are refused one byte at a time.
Utf8Character decodeUtf8Front(std::string_view text);

} // namespace pelvaro
