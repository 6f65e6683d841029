#pragma once

#include "KeystrokeInjector.h"

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
// type; forced names the only one to look at ("xtest").
KeyboardBackendChoice chooseKeyboardBackend(const std::string& forced = {},
                                            DeferredCall later = {});

// The message of a start refused for want of a backend.
std::string keystrokesImpossibleText(const KeyboardBackendChoice& choice);

} // namespace pelvaro
