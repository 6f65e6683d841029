#include "fileio/AtomicFile.h"
#include "fileio/FileLocations.h"
#include "fileio/SessionStart.h"
#include "text/Utf8Decoding.h"

#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace pelvaro {

namespace {

constexpr char kEntryName[] = "org.pelvaro.Pelvaro.desktop";
constexpr char kExecKey[] = "Exec=";
// Inside double quotes on an Exec line these take a backslash.
constexpr std::string_view kQuotedSpecials = "\"`$\\";
// The shell and its command that start the program given as $0.
constexpr char kShell[] = "/bin/sh";
constexpr char kShellRun[] = "exec \"$0\"";

std::optional<std::filesystem::path> entryFile() {
    const auto folders = userFolders();
    if (!folders)
        return std::nullopt;
    // Beside the program's own folder in the user's configuration folder.
    return folders->settings.parent_path() / "autostart" / kEntryName;
}

// A line end would start a key of its own (an Exec of someone else's
// choosing), other control characters have no place in an entry, and GLib
// skips an entry that is not UTF-8.
bool fitsIntoEntry(std::string_view path) {
    while (!path.empty()) {
        const Utf8Character character = decodeUtf8Front(path);
        if (!character.wellFormed || character.codePoint < 0x20 ||
            (character.codePoint >= 0x7f && character.codePoint <= 0x9f))
            return false;
        path.remove_prefix(character.length);
    }
    return true;
}

// One argument of an Exec value, quoted: a backslash before '"', '`', '$' and
// '\\', '%' doubled.
std::string quotedArgument(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (kQuotedSpecials.find(c) != std::string_view::npos)
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    return quoted + '"';
}

// The Exec value that starts the program, with the escapes of every string
// value of the file on top, of which only "\\" can occur once control
// characters are refused. GLib and KDE look for the program as the line
// names it, before '%%' is read as '%', and skip the entry when there is
// none: a program with '%' in its path is started by the shell, which gets
// the path as its $0 and runs nothing but it.
std::string execValue(std::string_view path) {
    std::string arguments = quotedArgument(path);
    if (path.find('%') != std::string_view::npos)
        arguments = std::string(kShell) + " -c " + quotedArgument(kShellRun) + " " + arguments;
    std::string value;
    for (const char c : arguments) {
        if (c == '\\')
            value += '\\';
        value += c;
    }
    return value;
}

// The string escapes \s \n \t \r \\ undone; a backslash before anything else
// stays, as entries of older versions have it before a quote.
std::string unescapedValue(std::string_view value) {
    constexpr std::string_view kEscaped = "sntr\\";
    constexpr std::string_view kMeant = " \n\t\r\\";
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        const size_t escape = value[i] == '\\' && i + 1 < value.size() ? kEscaped.find(value[i + 1])
                                                                       : std::string_view::npos;
        if (escape == std::string_view::npos) {
            text += value[i];
            continue;
        }
        text += kMeant[escape];
        ++i;
    }
    return text;
}

// The arguments of an Exec value whose string escapes are undone: split at
// blanks outside quotes, quoted ones without their backslashes, '%%' read
// as '%'.
std::vector<std::string> execArguments(std::string_view value) {
    std::vector<std::string> arguments;
    std::string argument;
    bool inArgument = false;
    bool quoted = false;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == ' ' && !quoted) {
            if (inArgument)
                arguments.push_back(std::exchange(argument, {}));
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (value[i] == '"') {
            quoted = !quoted;
            continue;
        }
        const bool last = i + 1 == value.size();
        if (!last && ((quoted && value[i] == '\\' &&
                       kQuotedSpecials.find(value[i + 1]) != std::string_view::npos) ||
                      (value[i] == '%' && value[i + 1] == '%')))
            ++i;
        argument += value[i];
    }
    if (inArgument)
        arguments.push_back(argument);
    return arguments;
}

// The program an Exec value starts: its first argument, or the one the
// shell is given to start.
std::optional<std::filesystem::path> startedProgram(const std::vector<std::string>& arguments) {
    if (arguments.size() == 4 && arguments[0] == kShell && arguments[1] == "-c" &&
        arguments[2] == kShellRun)
        return arguments[3];
    if (arguments.empty())
        return std::nullopt;
    return arguments[0];
}

} // namespace

std::optional<std::filesystem::path> sessionStartProgram() {
    const auto file = entryFile();
    if (!file)
        return std::nullopt;
    std::ifstream in(*file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(kExecKey, 0) == 0)
            return startedProgram(
                execArguments(unescapedValue(std::string_view(line).substr(sizeof kExecKey - 1))));
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
    if (!fitsIntoEntry(program->native()))
        return "Der Pfad des Programms enthält ein Steuerzeichen (etwa einen Zeilenumbruch) oder "
               "ist kein gültiges UTF-8; die Anmeldung könnte es so nicht sicher starten. Bitte "
               "das Programm in einen Ordner mit einem gewöhnlichen Namen legen.";
    std::filesystem::create_directories(file->parent_path(), error);
    if (error)
        return file->parent_path().string() + ": " + error.message();
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Pelvaro\n"
                              "Comment=Karten eines RFID-Lesers als Tastatureingabe senden\n" +
                              std::string(kExecKey) + execValue(program->native()) + "\n" +
                              "Icon=org.pelvaro.Pelvaro\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n";
    if (!replaceFileContents(*file, entry))
        return file->string() + ": kann nicht geschrieben werden.";
    return std::nullopt;
}

std::string sessionStartEntryName() {
    const auto file = entryFile();
    return file ? file->string() : std::string("$XDG_CONFIG_HOME/autostart/") + kEntryName;
}

} // namespace pelvaro
