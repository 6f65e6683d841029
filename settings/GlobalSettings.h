#pragma once

#include <filesystem>

namespace pelvaro {

// The main window's switches: the [Global] section of the settings file.
struct GlobalSettings {
    bool lineFeed = false;            // LineFeed
    bool sysTray = false;             // SysTray
    bool sendPersonnelNumber = false; // SendPSNR
    bool autostart = false;           // Autostart
    bool autosave = false;            // Autosave
};

// Reads the section; a missing file, section or key gives the default. Never
// writes anything.
GlobalSettings readGlobalSettings(const std::filesystem::path& file);

// Writes the five keys in order, each on its own so that the rest of the
// file stays. Stops at the first key that cannot be written and returns
// false; keys written before it stay written.
bool writeGlobalSettings(const std::filesystem::path& file, const GlobalSettings& settings);

} // namespace pelvaro
