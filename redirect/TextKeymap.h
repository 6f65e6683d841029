#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

// A keyboard map made for one text: every distinct character of it on a key
// of its own at the first level, and Return, so that the text is typed with
// no modifier and no group whatever the user's own layout is.
struct TextKeymap {
    std::string text;           // the map in XKB's text format
    std::vector<uint32_t> keys; // the evdev key code of each character of the text
    uint32_t returnKey = 0;     // the evdev key code of Return
};

TextKeymap makeTextKeymap(std::u32string_view text);

} // namespace pelvaro
