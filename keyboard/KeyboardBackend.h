#pragma once

#include "keyboard/KeystrokeInjector.h"
#include "settings/KeyboardSettings.h"

#include <memory>
#include <string>
#include <vector>

namespace pelvaro {

// The way the program types, and why the others were not taken.
struct KeyboardBackendChoice {
    std::unique_ptr<KeystrokeInjector> injector; // null: there is no way to type
    std::string name;                            // the backend that types
    std::vector<std::string> report;             // a line per backend looked at
    std::string unavailable;                     // without one: why, in German
};

// Looks at the platform's backends in order and takes the first that can
// type: on a Wayland session the virtual keyboard, else the desktop portal's
// remote keyboard, else uinput; on X11 XTest;
// without either uinput (the text console).
KeyboardBackendChoice chooseKeyboardBackend(const KeyboardSettings& settings = {},
                                            DeferredCall later = {});

// The message of a start refused for want of a backend, or for the reason
// an injector gave when typing was to begin.
std::string keystrokesImpossibleText(const KeyboardBackendChoice& choice);
std::string keystrokesImpossibleText(const std::string& reason);

} // namespace pelvaro
