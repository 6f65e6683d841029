#include "settings/KeyboardSettings.h"

#include "fileio/ProfileFile.h"

namespace pelvaro {

KeyboardSettings readKeyboardSettings(const std::filesystem::path& settingsFile) {
    const auto value = [&](const char* key) {
        return readProfileString(settingsFile, "Keyboard", key).value_or(std::string());
    };
    return {value("Backend"), value("Layout"), value("Variant")};
}

} // namespace pelvaro
