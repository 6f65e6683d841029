#include "fileio/AtomicFile.h"
#include "fileio/FileLocations.h"
#include "fileio/SessionStart.h"

#include <fstream>
#include <system_error>

namespace pelvaro {

namespace {

constexpr char kEntryName[] = "org.pelvaro.Pelvaro.desktop";
constexpr char kExecKey[] = "Exec=";

std::optional<std::filesystem::path> entryFile() {
    const auto folders = userFolders();
    if (!folders)
        return std::nullopt;
    // Beside the program's own folder in the user's configuration folder.
    return folders->settings.parent_path() / "autostart" / kEntryName;
}

// The program as one argument of an Exec line: quoted, with the characters
// that are special inside quotes escaped, and '%' doubled.
std::string execArgument(const std::string& path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    return quoted + '"';
}

std::string unquotedArgument(const std::string& argument) {
    if (argument.size() < 2 || argument.front() != '"' || argument.back() != '"')
        return argument;
    std::string path;
    for (size_t i = 1; i + 1 < argument.size(); ++i) {
        if (argument[i] == '\\' && i + 2 < argument.size())
            ++i;
        else if (argument[i] == '%' && argument[i + 1] == '%')
            ++i;
        path += argument[i];
    }
    return path;
}

} // namespace

std::optional<std::filesystem::path> sessionStartProgram() {
    const auto file = entryFile();
    if (!file)
        return std::nullopt;
    std::ifstream in(*file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(kExecKey, 0) == 0)
            return std::filesystem::path(unquotedArgument(line.substr(sizeof kExecKey - 1)));
    }
    return std::nullopt;
}

std::optional<std::string> setSessionStart(const std::optional<std::filesystem::path>& program) {
    const auto file = entryFile();
    if (!file)
        return "Kein Benutzerordner (HOME ist nicht gesetzt).";
    std::error_code error;
    if (!program) {
        std::filesystem::remove(*file, error);
        if (error)
            return file->string() + ": " + error.message();
        return std::nullopt;
    }
    std::filesystem::create_directories(file->parent_path(), error);
    if (error)
        return file->parent_path().string() + ": " + error.message();
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Pelvaro\n"
                              "Comment=Karten eines RFID-Lesers als Tastatureingabe senden\n" +
                              std::string(kExecKey) + execArgument(program->string()) + "\n" +
                              "Icon=org.pelvaro.Pelvaro\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n";
    if (!replaceFileContents(*file, entry))
        return file->string() + ": kann nicht geschrieben werden.";
    return std::nullopt;
}

} // namespace pelvaro
