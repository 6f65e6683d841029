#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelvaro {

// "Mit der Sitzung starten": the program starts when the user logs in,
// through the desktop's autostart entry (Linux: $XDG_CONFIG_HOME/autostart,
// by default ~/.config/autostart) or the user's Run key (Windows). Only the
// user's own entry is touched; nothing needs an administrator.

// Whether the user's session starts a program through our entry, and which.
std::optional<std::filesystem::path> sessionStartProgram();

// Makes the session start the program, or no longer start it. Returns the
// reason when the entry cannot be written or removed.
std::optional<std::string> setSessionStart(const std::optional<std::filesystem::path>& program);

} // namespace pelvaro
