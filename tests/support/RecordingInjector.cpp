#include "RecordingInjector.h"

namespace pelvaro {

bool RecordingInjector::typeCharacter(char32_t character) {
    events_.push_back({KeyEvent::Key::Character, character, true});
    events_.push_back({KeyEvent::Key::Character, character, false});
    return true;
}

bool RecordingInjector::pressEnter() {
    events_.push_back({KeyEvent::Key::Enter, 0, true});
    events_.push_back({KeyEvent::Key::Enter, 0, false});
    return true;
}

} // namespace pelvaro
