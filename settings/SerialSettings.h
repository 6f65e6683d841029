#pragma once

#include <filesystem>

namespace pelvaro {

// The reader's port and card format: the [Serial] section of the settings file.
struct SerialSettings {
    int port = 0;             // Port: COM port number, 0 = none
    int cardLength = 10;      // CardLen
    bool hitagInverse = true; // Hitag_inv
};

// Reads the section; a missing file, section or key gives the default. Never
// writes anything.
SerialSettings readSerialSettings(const std::filesystem::path& file);

// Writes the three keys in order, each on its own so that the rest of the
// file stays. Stops at the first key that cannot be written and returns
// false; keys written before it stay written.
bool writeSerialSettings(const std::filesystem::path& file, const SerialSettings& settings);

} // namespace pelvaro
