#include "keyboard/KeyboardBackend.h"

namespace pelvaro {

std::string keystrokesImpossibleText(const KeyboardBackendChoice& choice) {
    return keystrokesImpossibleText(choice.unavailable);
}

std::string keystrokesImpossibleText(const std::string& reason) {
    return "Tastatureingaben sind nicht möglich: " + reason;
}

} // namespace pelvaro
