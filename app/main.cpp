#include "ProgramWindows.h"
#include "QtUserDialogs.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <exception>

namespace {

// German button texts and file dialog from Qt's own translations.
void useGermanTranslations(QApplication& application, QTranslator& translator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (translator.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&translator);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelvaro"));
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QTranslator translator;
    useGermanTranslations(application, translator);

    try {
        pelvaro::QtUserDialogs dialogs;
        pelvaro::ProgramWindows windows(dialogs, QCoreApplication::applicationDirPath());
        dialogs.setOwner(&windows.mainForm);
        dialogs.setPrompt(&windows.labelPrompt);
        windows.mainForm.setKeystrokeInjector(pelvaro::makeKeystrokeInjector());
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
