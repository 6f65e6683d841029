#include "fileio/FileLocations.h"

#include <cstdlib>
#include <unistd.h>

namespace pelvaro {

namespace {

constexpr char kFolderName[] = "Pelvaro";

std::optional<std::filesystem::path> absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value || !std::filesystem::path(value).is_absolute())
        return std::nullopt;
    return std::filesystem::path(value);
}

} // namespace

std::optional<UserFolders> userFolders() {
    const auto home = absoluteVariable("HOME");
    const auto config = absoluteVariable("XDG_CONFIG_HOME");
    const auto data = absoluteVariable("XDG_DATA_HOME");
    if (!home && (!config || !data))
        return std::nullopt;
    return UserFolders{config.value_or(home.value_or("") / ".config") / kFolderName,
                       data.value_or(home.value_or("") / ".local" / "share") / kFolderName};
}

std::optional<std::filesystem::path> runningProgramFile() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !program.is_absolute())
        return std::nullopt;
    return program;
}

bool isPortableCopy(const std::filesystem::path& programDirectory) {
    return ::access(programDirectory.c_str(), W_OK) == 0;
}

} // namespace pelvaro
