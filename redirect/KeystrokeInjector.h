#pragma once

#include <memory>

namespace pelvaro {

// Synthetic keyboard input for whichever window holds the keyboard focus.
// Each call sends a whole key stroke, press and release; false means it could
// not be sent.
class KeystrokeInjector {
public:
    virtual ~KeystrokeInjector() = default;

    // The character itself, whatever the keyboard layout, Shift or Caps Lock.
    virtual bool typeCharacter(char32_t character) = 0;
    virtual bool pressEnter() = 0;
};

// The platform's injector, or nothing when there is none (on Linux: no X
// server to reach, or one without the XTest and XKB extensions).
std::unique_ptr<KeystrokeInjector> makeKeystrokeInjector();

} // namespace pelvaro
