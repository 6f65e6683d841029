#pragma once

#include <filesystem>
#include <string>

namespace pelvaro::sim {

// Takes the line "ComN=<device>" out of the settings file again once this
// process has ended, however it ends (quit key, a signal, a hang-up, even
// SIGKILL): a watcher process waits for a pipe that only this process holds
// to close. A line that names another device by then stays.
bool removeMappingAtExit(const std::filesystem::path& settingsFile, int portNumber,
                         const std::string& devicePath);

} // namespace pelvaro::sim
