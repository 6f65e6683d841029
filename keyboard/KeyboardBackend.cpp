#include "keyboard/KeyboardBackend.h"

#include "fileio/ProfileFile.h"

namespace pelvaro {

KeyboardSettings readKeyboardSettings(const std::filesystem::path& settingsFile) {
    const auto value = [&](const char* key) {
        return readProfileString(settingsFile, "Keyboard", key).value_or(std::string());
    };
    return {value("Backend"), value("Layout"), value("Variant")};
}

std::string keystrokesImpossibleText(const KeyboardBackendChoice& choice) {
    return keystrokesImpossibleText(choice.unavailable);
}

std::string keystrokesImpossibleText(const std::string& reason) {
    return "Tastatureingaben sind nicht möglich: " + reason;
}

} // namespace pelvaro
