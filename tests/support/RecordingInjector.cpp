#include "RecordingInjector.h"

namespace pelvaro {

bool RecordingInjector::typeText(std::u32string_view text, bool enter) {
    for (const char32_t character : text) {
        events_.push_back({KeyEvent::Key::Character, character, true});
        events_.push_back({KeyEvent::Key::Character, character, false});
    }
    if (enter) {
        events_.push_back({KeyEvent::Key::Enter, 0, true});
        events_.push_back({KeyEvent::Key::Enter, 0, false});
    }
    return true;
}

} // namespace pelvaro
