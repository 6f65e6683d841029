#pragma once

#include "modes/ModeHost.h"
#include "output/CardOutput.h"
#include "settings/OutputSettings.h"

#include <QString>
#include <filesystem>
#include <optional>

class QCheckBox;

namespace pelvaro {

class PersonnelDatabase;
class ProgramSettings;
class RedirectMode;
class TOutputDlg;

// What redirect mode gives out for each card: the [Output] settings, loaded
// at start, changed in the output dialog and handed to redirect mode; and
// whether the user's session starts the program.
class OutputOptions {
public:
    struct Controls {
        const QCheckBox* lineFeed;        // CheckBoxLF
        const QCheckBox* personnelNumber; // CheckBoxSndPSNR
    };
    // logFolder: where the daily read logs go.
    OutputOptions(ModeHost& host, ProgramSettings& settings, RedirectMode& redirect,
                  Controls controls, std::filesystem::path logFolder);

    void attachDialog(TOutputDlg& dialog) { dialog_ = &dialog; }
    void setDatabase(PersonnelDatabase* database) { database_ = database; }

    // Reads the [Output] section of the settings file and gives it to redirect mode.
    void LoadOutputSettings(const std::filesystem::path& settingsFile);
    void Ausgabe1Click();

private:
    // Redirect mode's output for the settings, or why there is none.
    void applyOutput(const OutputSettings& settings);
    void applySessionStart(bool wanted);

    ModeHost& host_;
    ProgramSettings& settings_;
    RedirectMode& redirect_;
    Controls controls_;
    std::filesystem::path logFolder_;
    std::filesystem::path settingsFile_;
    TOutputDlg* dialog_ = nullptr;
    PersonnelDatabase* database_ = nullptr;
    OutputSettings current_;
};

} // namespace pelvaro
