#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelvaro {

// What is given out for each card in redirect mode, as the [Output] section
// of the settings file keeps it. Without the section every card is typed as
// it always was.
struct OutputSettings {
    static constexpr int kMaxRepeatGuardSeconds = 3600;
    // The bare code, as redirect mode has always typed it.
    static constexpr std::string_view kDefaultTemplate = "{code}";

    std::string templateText{kDefaultTemplate}; // Template=
    int repeatGuardSeconds = 0;                 // RepeatGuard=: 0 is off
    bool log = false;                           // Log=1: the read log is kept

    bool operator==(const OutputSettings&) const = default;
};

// Reads the section; a missing file, section or key gives the default, a
// hold time out of range the nearest allowed one. A template in double quotes
// loses them, so that blanks at its ends can be kept.
OutputSettings readOutputSettings(const std::filesystem::path& file);

// Writes the three keys, each on its own, the template in double quotes.
// False at the first key that cannot be written.
bool writeOutputSettings(const std::filesystem::path& file, const OutputSettings& settings);

} // namespace pelvaro
