#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelvaro {

// The shared personnel table, as the [Personnel] section of the settings file
// keeps it. Without a server nothing of it runs and the PC's own table is used
// as before. Never a password: libpq takes it from its password file.
struct PersonnelServerSettings {
    std::string server;  // Server=: a libpq connection URI
    std::string station; // Station=: what changed_by records; empty: the computer's name

    bool enabled() const { return !server.empty(); }
    bool operator==(const PersonnelServerSettings&) const = default;
};

// Whether a connection URI (or a libpq keyword string) carries a password,
// which belongs in libpq's password file, never in the settings file.
bool connectionNamesPassword(std::string_view uri);

// A missing file, section or key gives an empty value.
PersonnelServerSettings readPersonnelServerSettings(const std::filesystem::path& file);

// Writes both keys. A file without the section gets none while there is no
// server. False when a key cannot be written.
bool writePersonnelServerSettings(const std::filesystem::path& file,
                                  const PersonnelServerSettings& settings);

} // namespace pelvaro
