#include "fileio/SessionStart.h"

#include "fileio/FileLocations.h"

namespace pelvaro {

std::optional<std::string> setSessionStartOfRunningProgram(bool wanted) {
    if (!wanted)
        return setSessionStart(std::nullopt);
    const auto program = runningProgramFile();
    if (!program)
        return std::string(kUnknownProgramFolderText);
    return setSessionStart(program);
}

} // namespace pelvaro
