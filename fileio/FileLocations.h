#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelvaro {

// The settings file, in the program's directory or the user's settings folder.
inline constexpr char kSettingsFileName[] = "Pelvaro.ini";

// The personnel database, in the program's directory or the user's.
inline constexpr const char* kPersonnelDatabaseFile = "db_Personal.sqlite";

// The outbox of reads on their way to the company's system, beside the
// personnel database (and the read logs).
inline constexpr char kOutboxFile[] = "Pelvaro-Versand.sqlite";
// The PC's own personnel table as it was before a server's table first filled
// the personnel database file, beside it, for moving it to the server later.
inline constexpr char kLocalPersonnelTableFile[] = "db_Personal.lokal.sqlite";

// The name of the file the installer leaves beside an installed program.
inline constexpr char kInstalledMarkerFile[] = "Pelvaro.installed";

// The folders of the user's own files: on Linux $XDG_CONFIG_HOME/Pelvaro and
// $XDG_DATA_HOME/Pelvaro, by default ~/.config/Pelvaro and
// ~/.local/share/Pelvaro; on Windows both are %APPDATA%\Pelvaro.
struct UserFolders {
    std::filesystem::path settings;
    std::filesystem::path data;
};

// The user's folders; nothing without a home. On Linux a relative XDG path is
// ignored, as the XDG rules say.
std::optional<UserFolders> userFolders();

// The file of the running program as the system names it: /proc/self/exe on
// Linux, the module's file name on Windows. Nothing when the system does not
// say; the current directory is no stand-in, since anyone may have chosen it.
std::optional<std::filesystem::path> runningProgramFile();

// What the programs say when the system does not name their file.
inline constexpr char kUnknownProgramFolderText[] =
    "Der Ordner des Programms lässt sich nicht ermitteln: das System nennt die Programmdatei "
    "nicht.";

// Whether this copy of the program keeps its files beside itself: on Linux
// when the user may write to its directory (a copy unpacked anywhere, the
// build folder), on Windows when no installer put it there (administrators
// may write to Program Files too).
bool isPortableCopy(const std::filesystem::path& programDirectory);

// Where the program keeps its files.
struct FileLocations {
    std::filesystem::path programDirectory;
    std::filesystem::path settingsFile;      // Pelvaro.ini
    std::filesystem::path databaseDirectory; // holds db_Personal.sqlite
    // Beside the program: the library is bound from there only. Otherwise a
    // library beside the program comes first and the system's is taken next.
    bool besideProgram = true;
};

// The program's directory when it holds a Pelvaro.ini or a db_Personal.sqlite
// (a directory prepared for its users) or is a portable copy; otherwise the
// user's folders, so that an installed program keeps its files per user.
FileLocations locateFiles(const std::filesystem::path& programDirectory,
                          const std::optional<UserFolders>& user, bool portableCopy);

// The same for the running user and this copy.
FileLocations locateFiles(const std::filesystem::path& programDirectory);

// The same for the running program; nothing when the system does not name it.
std::optional<FileLocations> locateRunningProgramFiles();

// Creates the folders of the user's files when they are used; false when
// they cannot be made (the saves then fail with the program's message).
bool prepareFolders(const FileLocations& locations);

} // namespace pelvaro
