#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelvaro {

// The eight settings kept in Pelvaro.ini, with their defaults.
struct StoredSettings {
    int port = 0;                     // [Serial] Port: COM port number, 0 = none
    int cardLength = 10;              // [Serial] CardLen
    bool hitagInverse = true;         // [Serial] Hitag_inv
    bool lineFeed = false;            // [Global] LineFeed
    bool sysTray = false;             // [Global] SysTray
    bool sendPersonnelNumber = false; // [Global] SendPSNR
    bool autostart = false;           // [Global] Autostart
    bool autosave = false;            // [Global] Autosave
};

// An integer as the profile functions read it: decimal, or hexadecimal after
// "0x" or "0X", optionally signed; anything else (missing, empty, not a
// number, out of range) gives the default.
int profileInteger(const std::optional<std::string>& text, int defaultValue);

// Reads the settings; a missing file, section or key gives the default. Never
// writes anything.
StoredSettings readStoredSettings(const std::filesystem::path& file);

// Writes all eight keys in order, each key on its own so that the rest of the
// file stays. Stops at the first key that cannot be written and returns false;
// keys written before it stay written.
bool writeStoredSettings(const std::filesystem::path& file, const StoredSettings& settings);

} // namespace pelvaro
