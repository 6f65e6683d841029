#include "app/OutputOptions.h"

#include "app/ProgramSettings.h"
#include "app/TOutputDlg.h"
#include "fileio/SessionStart.h"
#include "forms/ui_TOutputDlg.h"
#include "redirect/RedirectMode.h"

#include <QCheckBox>
#include <QDir>

namespace pelvaro {

namespace {

// The card the preview shows before any was read.
constexpr char kSampleCode[] = "123456789A";

QString shownPath(const std::filesystem::path& path) {
    return QDir::toNativeSeparators(QString::fromStdU16String(path.u16string()));
}

} // namespace

OutputOptions::OutputOptions(ModeHost& host, ProgramSettings& settings, RedirectMode& redirect,
                             Controls controls, std::filesystem::path logFolder)
    : host_(host), settings_(settings), redirect_(redirect), controls_(controls),
      logFolder_(std::move(logFolder)) {}

void OutputOptions::LoadOutputSettings(const std::filesystem::path& settingsFile) {
    settingsFile_ = settingsFile;
    current_ = readOutputSettings(settingsFile_);
    applyOutput(current_);
}

void OutputOptions::applyOutput(const OutputSettings& settings) {
    auto [outputTemplate, problem] = OutputTemplate::parse(settings.templateText);
    if (!outputTemplate) {
        redirect_.setOutput(std::nullopt,
                            QStringLiteral("Die Ausgabevorlage in den Einstellungen ist "
                                           "fehlerhaft:\n") +
                                QString::fromStdString(templateProblemText(problem)) +
                                QStringLiteral("\n\nBitte unter Optionen, Ausgabe berichtigen."));
        return;
    }
    std::optional<ReadLog> log;
    if (settings.log)
        log = ReadLog::dailyFilesIn(logFolder_);
    redirect_.setOutput(CardOutput(std::move(*outputTemplate),
                                   RepeatGuard(std::chrono::seconds(settings.repeatGuardSeconds)),
                                   std::move(log)));
}

void OutputOptions::Ausgabe1Click() {
    if (!dialog_ || !host_.modes().idle())
        return;
    const QString lastCode = host_.currentCode();
    PreviewCard card;
    card.code = lastCode.isEmpty() ? std::string(kSampleCode) : lastCode.toStdString();
    card.substitute = controls_.personnelNumber->isChecked() && database_;
    card.lookup = personnelNumbersIn(database_);
    card.enter = controls_.lineFeed->isChecked();
    dialog_->fill(current_, std::move(card));

    Ui::TOutputDlg& dialog = dialog_->controls();
    dialog.LabelLogFolder->setText(QStringLiteral("Ordner: ") + shownPath(logFolder_));
    const bool startsWithSession = sessionStartProgram().has_value();
    dialog.CheckBoxSessionStart->setChecked(startsWithSession);
    // Like "Umleitung bei Programmstart starten": only what is saved lasts.
    dialog.CheckBoxSessionStart->setEnabled(settings_.savesSettings());
    if (dialog_->exec() != QDialog::Accepted)
        return;

    current_ = dialog_->settings();
    applyOutput(current_);
    if (!settings_.savesSettings())
        return;
    if (!writeOutputSettings(settingsFile_, current_))
        settings_.reportUnsavedFile();
    if (dialog.CheckBoxSessionStart->isChecked() != startsWithSession)
        applySessionStart(!startsWithSession);
}

void OutputOptions::applySessionStart(bool wanted) {
    if (const auto failure = setSessionStartOfRunningProgram(wanted))
        host_.dialogs().error(QString::fromUtf8(kSessionStartFailureText) + QLatin1Char('\n') +
                              QString::fromStdString(*failure));
}

} // namespace pelvaro
