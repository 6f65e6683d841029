#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

// A keyboard map for the texts typed one after another: every character met
// so far on a key of its own at the first level, and Return, so that a text
// is typed with no modifier and no group whatever the user's own layout is.
// It only grows, so that the same kinds of text (card codes) need it sent
// to the compositor once.
class TextKeymap {
public:
    TextKeymap();

    // Gives every character of the text a key; true when the map changed and
    // must be sent again. A map that would outgrow the key codes clients of
    // X11's heritage take (255) starts afresh with the text's characters.
    bool hold(std::u32string_view text);
    // The evdev key code of each character of a text the map holds.
    std::vector<uint32_t> keysOf(std::u32string_view text) const;
    // The evdev key code of Return: the first key of every map.
    static constexpr uint32_t kReturnKey = 1;
    // The map in XKB's text format.
    std::string text() const;

private:
    std::vector<char32_t> missingFrom(std::u32string_view text) const;

    std::vector<char32_t> characters_; // the one on evdev key code index + 1
};

} // namespace pelvaro
