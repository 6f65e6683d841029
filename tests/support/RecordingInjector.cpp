#include "tests/support/RecordingInjector.h"

namespace pelvaro {

std::vector<KeyEvent> keyStrokes(std::u32string_view text, bool enter) {
    std::vector<KeyEvent> events;
    for (const char32_t character : text) {
        events.push_back({KeyEvent::Key::Character, character, true});
        events.push_back({KeyEvent::Key::Character, character, false});
    }
    if (enter) {
        events.push_back({KeyEvent::Key::Enter, 0, true});
        events.push_back({KeyEvent::Key::Enter, 0, false});
    }
    return events;
}

TypingResult RecordingInjector::typeText(std::u32string_view text, bool enter) {
    std::u32string typeable;
    for (const char32_t character : text)
        if (lacking.find(character) == std::u32string_view::npos)
            typeable += character;
    const std::vector<KeyEvent> events = keyStrokes(typeable, enter);
    events_.insert(events_.end(), events.begin(), events.end());
    if (typeable.size() == text.size())
        return {};
    return TypingResult::stopped(!events.empty(), kLackingCharactersReason);
}

} // namespace pelvaro
