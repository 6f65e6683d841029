#pragma once

#include <filesystem>
#include <string>
#include <utility>

namespace pelvaro {

// How the user wants to type: section [Keyboard] of the settings file.
struct KeyboardSettings {
    std::string backend; // Backend=: the only one to look at; empty: the platform's choice
    std::string layout;  // Layout=, Variant=: the user's layout for uinput, as for setxkbmap
    std::string variant;
};

// Settings that force one backend, and nothing else.
inline KeyboardSettings forcedBackend(std::string name) {
    KeyboardSettings settings;
    settings.backend = std::move(name);
    return settings;
}

// The [Keyboard] section of a settings file; empty values when it is missing.
KeyboardSettings readKeyboardSettings(const std::filesystem::path& settingsFile);

} // namespace pelvaro
