#include "tools/simulator/MappingCleanup.h"

#include "settings/PortSettings.h"

#include <fcntl.h>
#include <unistd.h>

namespace pelvaro::sim {

bool removeMappingAtExit(const std::filesystem::path& settingsFile, int portNumber,
                         const std::string& devicePath) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    const pid_t watcher = fork();
    if (watcher < 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (watcher == 0) {
        // Out of the terminal's session, so its signals and hang-up do not
        // reach the watcher; holding nothing of the simulator, in particular
        // not the line's master side.
        setsid();
        dup2(ends[0], STDIN_FILENO);
        close_range(STDIN_FILENO + 1, ~0U, 0);
        char byte = 0;
        while (read(STDIN_FILENO, &byte, 1) > 0) {
        }
        removePortMapping(settingsFile, portNumber, devicePath);
        _exit(0);
    }
    close(ends[0]);
    return true; // the write end stays open until this process ends
}

} // namespace pelvaro::sim
