#pragma once

#include "keyboard/KeystrokeInjector.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

// One key event as an injector would send it.
struct KeyEvent {
    enum class Key { Character, Enter };

    Key key = Key::Character;
    char32_t character = 0; // 0 for ENTER
    bool pressed = true;    // false: released

    bool operator==(const KeyEvent&) const = default;
};

// The events that type the text, then ENTER when asked: per character one
// press and one release.
std::vector<KeyEvent> keyStrokes(std::u32string_view text, bool enter);

// Keeps the events instead of sending them, for tests of what is typed.
class RecordingInjector final : public KeystrokeInjector {
public:
    std::optional<std::string> begin() override { return refusal; }
    TypingResult typeText(std::u32string_view text, bool enter) override;

    // What begin() answers, as a desktop that refuses its consent.
    std::optional<std::string> refusal;
    // Characters skipped as a layout without them would.
    std::u32string_view lacking;

    const std::vector<KeyEvent>& events() const { return events_; }

private:
    std::vector<KeyEvent> events_;
};

} // namespace pelvaro
