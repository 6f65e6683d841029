#include "fileio/FileLocations.h"

namespace pelvaro {

FileLocations locateFiles(const std::filesystem::path& programDirectory,
                          const std::optional<UserFolders>& user, bool portableCopy) {
    std::error_code error;
    const bool prepared = std::filesystem::exists(programDirectory / kSettingsFileName, error) ||
                          std::filesystem::exists(programDirectory / kPersonnelDatabaseFile, error);
    if (prepared || portableCopy || !user)
        return {programDirectory, programDirectory / kSettingsFileName, programDirectory, true};
    return {programDirectory, user->settings / kSettingsFileName, user->data, false};
}

FileLocations locateFiles(const std::filesystem::path& programDirectory) {
    return locateFiles(programDirectory, userFolders(), isPortableCopy(programDirectory));
}

std::optional<FileLocations> locateRunningProgramFiles() {
    const auto program = runningProgramFile();
    if (!program)
        return std::nullopt;
    return locateFiles(program->parent_path());
}

bool prepareFolders(const FileLocations& locations) {
    if (locations.besideProgram)
        return true;
    std::error_code error;
    std::filesystem::create_directories(locations.settingsFile.parent_path(), error);
    const bool settings = !error;
    std::filesystem::create_directories(locations.databaseDirectory, error);
    return settings && !error;
}

} // namespace pelvaro
