#pragma once

#include "modes/ModeHost.h"
#include "reader/ReadResult.h"
#include "settings/DeliverySettings.h"

#include <QString>
#include <array>
#include <filesystem>

namespace Ui {
class TMainForm;
}

namespace pelvaro {

class T_Serial_Interface;
class TSettingsDlg;

// The program's settings: the configured port and the card format, loaded
// from and saved to the settings file, and the settings dialog that changes
// them with its port list and hardware query.
class ProgramSettings {
public:
    // readResult: the block whose card length and byte order the reads use.
    ProgramSettings(ModeHost& host, Ui::TMainForm& window, pelvaro::ReadResult& readResult);

    void attachDialog(TSettingsDlg& dialog) { settingsDlg_ = &dialog; }
    // The settings file and the port its mapping applies to; the dialog's
    // port list is made with it.
    void setUp(std::filesystem::path settingsFile, T_Serial_Interface& port);

    int portNumber() const { return PortNumber; }
    const QString& settingsFilePath() const { return settingsFile_; }
    // "Umleitung bei Programmstart starten" is on.
    bool autoStart() const;
    // The card format of the reads on the GUI thread: the dialog's controls.
    int cardLength() const;
    bool hitagInverse() const;

    // Where each read goes besides its typing or list: the [Delivery]
    // section as loaded, or as the user last set it.
    const DeliverySettings& delivery() const { return delivery_; }
    // Takes the user's change, saved only while "Einstellungen speichern" is on.
    void setDelivery(DeliverySettings delivery);

    void LoadSettings();
    void SaveSettings();
    // "Einstellungen speichern" is on: every change is saved.
    bool savesSettings() const;
    // Saves when "Einstellungen speichern" is on, as every setting's change does.
    void saveIfEnabled();
    // Tells the user that the settings file could not be written.
    void reportUnsavedFile();
    void showPortInStatusBar();

    void Einstellungen1Click();
    void HardwareInfo1Click();
    // One hardware request to the reader; true if its answer was shown.
    bool HardwareQuery(int address);
    // Port discovery for the dialog's port list.
    void scanPorts();

private:
    // The dialog's card-length and byte-order controls from the read block.
    void showDecodingSettings();

    ModeHost& host_;
    Ui::TMainForm& window_;
    pelvaro::ReadResult& ReadResult;
    TSettingsDlg* settingsDlg_ = nullptr;
    T_Serial_Interface* port_ = nullptr;
    std::filesystem::path settingsFile;
    QString settingsFile_; // as the user sees it
    int PortNumber = 0;
    DeliverySettings delivery_;
    // The dialog's port list: entry n (from 1) is the port PortTable[n].
    std::array<int, 256> PortTable{};
    int PortListPosition = 0;
    // Shown in the dialog and kept while the program runs; the reads keep
    // the reader's own timing, so nothing else uses it.
    int TimeoutMs = 500;
};

} // namespace pelvaro
