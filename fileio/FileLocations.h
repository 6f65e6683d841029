#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelvaro {

// The folders of the user's own files: $XDG_CONFIG_HOME/Pelvaro and
// $XDG_DATA_HOME/Pelvaro, by default ~/.config/Pelvaro and
// ~/.local/share/Pelvaro (on Windows both below %APPDATA%).
struct UserFolders {
    std::filesystem::path settings;
    std::filesystem::path data;
};

// The user folders as the environment names them. A relative XDG path is
// ignored, as the XDG rules say; nothing at all without a home.
std::optional<UserFolders> userFoldersFromEnvironment();

// Where the program keeps its files.
struct FileLocations {
    std::filesystem::path programDirectory;
    std::filesystem::path settingsFile;      // Pelvaro.ini
    std::filesystem::path databaseDirectory; // holds db_Personal.sqlite
    // Beside the program: the library is bound from there only. Otherwise a
    // library beside the program comes first and the system's is taken next.
    bool besideProgram = true;
};

// The program's directory when it holds a Pelvaro.ini or the user may write
// to it (a portable installation, the build folder); otherwise the user's
// folders, so that an installed program keeps its files per user.
FileLocations locateFiles(const std::filesystem::path& programDirectory,
                          const std::optional<UserFolders>& user, bool programDirectoryWritable);

// The same for the running user and the environment.
FileLocations locateFiles(const std::filesystem::path& programDirectory);

// Creates the folders of the user's files when they are used; false when
// they cannot be made (the saves then fail with the program's message).
bool prepareFolders(const FileLocations& locations);

} // namespace pelvaro
