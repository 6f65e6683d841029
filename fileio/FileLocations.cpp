#include "FileLocations.h"

#include <cstdlib>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace pelvaro {

namespace {

constexpr char kSettingsFile[] = "Pelvaro.ini";
constexpr char kFolderName[] = "Pelvaro";

std::optional<std::filesystem::path> absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value || !std::filesystem::path(value).is_absolute())
        return std::nullopt;
    return std::filesystem::path(value);
}

bool writableByUser(const std::filesystem::path& directory) {
#ifdef _WIN32
    return ::_waccess(directory.c_str(), 2) == 0;
#else
    return ::access(directory.c_str(), W_OK) == 0;
#endif
}

} // namespace

std::optional<UserFolders> userFoldersFromEnvironment() {
#ifdef _WIN32
    const auto appData = absoluteVariable("APPDATA");
    if (!appData)
        return std::nullopt;
    return UserFolders{*appData / kFolderName, *appData / kFolderName};
#else
    const auto home = absoluteVariable("HOME");
    const auto config = absoluteVariable("XDG_CONFIG_HOME");
    const auto data = absoluteVariable("XDG_DATA_HOME");
    if (!home && (!config || !data))
        return std::nullopt;
    return UserFolders{config.value_or(home.value_or("") / ".config") / kFolderName,
                       data.value_or(home.value_or("") / ".local" / "share") / kFolderName};
#endif
}

FileLocations locateFiles(const std::filesystem::path& programDirectory,
                          const std::optional<UserFolders>& user, bool programDirectoryWritable) {
    std::error_code error;
    const bool settingsBeside = std::filesystem::exists(programDirectory / kSettingsFile, error);
    if (settingsBeside || programDirectoryWritable || !user)
        return {programDirectory, programDirectory / kSettingsFile, programDirectory, true};
    return {programDirectory, user->settings / kSettingsFile, user->data, false};
}

FileLocations locateFiles(const std::filesystem::path& programDirectory) {
    return locateFiles(programDirectory, userFoldersFromEnvironment(),
                       writableByUser(programDirectory));
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
