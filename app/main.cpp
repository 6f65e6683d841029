#include "app/CommandLineText.h"
#include "app/ProgramWindows.h"
#include "app/QtUserDialogs.h"
#include "app/StandInFont.h"
#include "fileio/FileLocations.h"
#include "fileio/SessionStart.h"
#include "keyboard/KeyboardBackend.h"
#include "personnel/PersonnelDatabase.h"
#include "personnel/SharedLibrary.h"
#include "personnel/SqliteLibrary.h"
#include "personnel/server/PersonnelServer.h"
#include "settings/KeyboardSettings.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <exception>
#include <filesystem>
#include <string_view>
#include <vector>

namespace {

// German button texts and file dialog from Qt's own translations.
void useGermanTranslations(QApplication& application, QTranslator& translator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (translator.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&translator);
}

// What `pelvaro --paths` says: the settings file, the database and the
// library in use.
int printPaths(const pelvaro::FileLocations& files) {
    const pelvaro::SqliteBinding sqlite = pelvaro::BindSqliteLibrary(files);
    const auto utf8 = [](const std::filesystem::path& path) {
        return QString::fromStdU16String(path.u16string()).toStdString();
    };
    std::string text = "Einstellungen: " + utf8(files.settingsFile) + "\n";
    text += "Datenbank: " + utf8(files.databaseDirectory / pelvaro::kPersonnelDatabaseFile) + "\n";
    text += "SQLite: " +
            (sqlite.library ? utf8(sqlite.library->file()) : "keine Bibliothek gefunden") + "\n";
    text += files.besideProgram ? "Dateien neben dem Programm\n"
                                : "Dateien im Ordner des Benutzers\n";
    pelvaro::showCommandLineText(text);
    return 0;
}

// What `pelvaro --keyboard-info` says: which backend types, and why the
// others do not; without opening a window.
int printKeyboardInfo(const std::filesystem::path& settingsFile) {
    const pelvaro::KeyboardBackendChoice choice =
        pelvaro::chooseKeyboardBackend(pelvaro::readKeyboardSettings(settingsFile));
    std::string text;
    for (const std::string& line : choice.report)
        text += line + "\n";
    text += choice.injector ? "Tastatureingaben über " + choice.name
                            : pelvaro::keystrokesImpossibleText(choice);
    pelvaro::showCommandLineText(text + "\n");
    return 0;
}

// What `pelvaro --autostart on|off` does, for scripts and deployment tools:
// the same as the tick "Mit der Sitzung starten" in the output dialog.
int setAutostart(const std::vector<std::string_view>& arguments) {
    if (arguments.size() != 2 || (arguments[1] != "on" && arguments[1] != "off")) {
        pelvaro::showCommandLineError("Aufruf: pelvaro --autostart on|off\n");
        return 2;
    }
    const bool wanted = arguments[1] == "on";
    const bool wasOn = pelvaro::sessionStartProgram().has_value();
    if (const auto failure = pelvaro::setSessionStartOfRunningProgram(wanted)) {
        pelvaro::showCommandLineError(std::string(pelvaro::kSessionStartFailureText) + " " +
                                      *failure + "\n");
        return 1;
    }
    const std::string entry = pelvaro::sessionStartEntryName();
    if (wanted)
        pelvaro::showCommandLineText("Pelvaro startet mit der Sitzung: " + entry +
                                     " geschrieben.\n");
    else if (wasOn)
        pelvaro::showCommandLineText("Pelvaro startet nicht mehr mit der Sitzung: " + entry +
                                     " entfernt.\n");
    else
        pelvaro::showCommandLineText("Pelvaro startet nicht mit der Sitzung: " + entry +
                                     " gibt es nicht.\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    pelvaro::restrictLibrarySearch();
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments[0] == "--autostart")
        return setAutostart(arguments);
    // For an administrator who creates the shared personnel table himself.
    if (arguments.size() == 1 && arguments[0] == "--server-schema") {
        pelvaro::showCommandLineText(pelvaro::serverSchemaSql());
        return 0;
    }
    // Where the program keeps its files: beside itself, or in the user's folders.
    const std::optional<pelvaro::FileLocations> files = pelvaro::locateRunningProgramFiles();
    if (arguments.size() == 1 && (arguments[0] == "--keyboard-info" || arguments[0] == "--paths")) {
        const QCoreApplication application(argc, argv);
        if (!files) {
            pelvaro::showCommandLineError(std::string(pelvaro::kUnknownProgramFolderText) + "\n");
            return 1;
        }
        return arguments[0] == "--paths" ? printPaths(*files)
                                         : printKeyboardInfo(files->settingsFile);
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelvaro"));
    pelvaro::useStandInFont();
    QTranslator translator;
    useGermanTranslations(application, translator);
    if (!files) {
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QString::fromUtf8(pelvaro::kUnknownProgramFolderText));
        return 1;
    }

    try {
        pelvaro::QtUserDialogs dialogs;
        pelvaro::prepareFolders(*files);
        pelvaro::ProgramWindows windows(dialogs, *files);
        dialogs.setOwner(&windows.mainForm);
        dialogs.setPrompt(&windows.labelPrompt);
        // Pauses of the keystroke output wait on the event loop, never in it.
        pelvaro::KeyboardBackendChoice keyboard = pelvaro::chooseKeyboardBackend(
            pelvaro::readKeyboardSettings(files->settingsFile),
            [&windows](std::chrono::milliseconds delay, std::function<void()> work) {
                QTimer::singleShot(delay, &windows.mainForm, std::move(work));
            });
        windows.mainForm.setKeyboard(
            std::move(keyboard.injector),
            QString::fromStdString(pelvaro::keystrokesImpossibleText(keyboard)));
        windows.mainForm.show();
        application.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QString::fromLocal8Bit(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString());
    }
    return 0;
}
