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
// reason when the entry cannot be written or removed, or when the program's
// path cannot go into it (a control character in it, on Linux).
std::optional<std::string> setSessionStart(const std::optional<std::filesystem::path>& program);

// The same for the running program, by its file as the system names it: what
// the tick in the output dialog and `pelvaro --autostart on|off` do.
std::optional<std::string> setSessionStartOfRunningProgram(bool wanted);

// What the program says before the reason when the entry cannot be changed.
inline constexpr char kSessionStartFailureText[] =
    "„Mit der Sitzung starten“ konnte nicht geändert werden:";

// Where the entry is, as the user would look for it: the file, or the
// registry value.
std::string sessionStartEntryName();

} // namespace pelvaro
