#include "FileLocations.h"
#include "KeyboardBackend.h"
#include "PersonnelDatabase.h"
#include "ProgramWindows.h"
#include "QtUserDialogs.h"
#include "SqliteLibrary.h"
#include "StandInFont.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string_view>

namespace {

// German button texts and file dialog from Qt's own translations.
void useGermanTranslations(QApplication& application, QTranslator& translator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (translator.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&translator);
}

// Where the program keeps its files: beside itself, or in the user's folders.
pelvaro::FileLocations programFiles() {
    return pelvaro::locateFiles(
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String()));
}

// What `pelvaro --paths` says: the settings file, the database and the
// library in use.
int printPaths(const pelvaro::FileLocations& files) {
    const pelvaro::SqliteBinding sqlite = pelvaro::BindSqliteLibrary(files);
    std::printf("Einstellungen: %s\n", files.settingsFile.string().c_str());
    std::printf("Datenbank: %s\n",
                (files.databaseDirectory / pelvaro::kPersonnelDatabaseFile).string().c_str());
    std::printf("SQLite: %s\n", sqlite.library ? sqlite.library->file().string().c_str()
                                               : "keine Bibliothek gefunden");
    return 0;
}

// What `pelvaro --keyboard-info` says: which backend types, and why the
// others do not; without opening a window.
int printKeyboardInfo(const std::filesystem::path& settingsFile) {
    const pelvaro::KeyboardBackendChoice choice =
        pelvaro::chooseKeyboardBackend(pelvaro::readKeyboardSettings(settingsFile));
    for (const std::string& line : choice.report)
        std::printf("%s\n", line.c_str());
    if (choice.injector)
        std::printf("Tastatureingaben über %s\n", choice.name.c_str());
    else
        std::printf("%s\n", pelvaro::keystrokesImpossibleText(choice).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--keyboard-info") {
        const QCoreApplication application(argc, argv);
        return printKeyboardInfo(programFiles().settingsFile);
    }
    if (argc == 2 && std::string_view(argv[1]) == "--paths") {
        const QCoreApplication application(argc, argv);
        return printPaths(programFiles());
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelvaro"));
    pelvaro::useStandInFont();
    QTranslator translator;
    useGermanTranslations(application, translator);

    try {
        pelvaro::QtUserDialogs dialogs;
        const pelvaro::FileLocations files = programFiles();
        pelvaro::prepareFolders(files);
        pelvaro::ProgramWindows windows(dialogs, files);
        dialogs.setOwner(&windows.mainForm);
        dialogs.setPrompt(&windows.labelPrompt);
        // Pauses of the keystroke output wait on the event loop, never in it.
        pelvaro::KeyboardBackendChoice keyboard = pelvaro::chooseKeyboardBackend(
            pelvaro::readKeyboardSettings(files.settingsFile),
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
