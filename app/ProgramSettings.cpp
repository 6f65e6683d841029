#include "app/ProgramSettings.h"

#include "app/TSettingsDlg.h"
#include "forms/ui_MainDLG.h"
#include "forms/ui_TSettingsDlg.h"
#include "modes/ModeMessages.h"
#include "modes/SynchronousRead.h"
#include "reader/HardwareReply.h"
#include "reader/MessageDecoding.h"
#include "reader/PortDiscovery.h"
#include "settings/GlobalSettings.h"
#include "settings/SerialSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <chrono>
#include <thread>

namespace pelvaro {

namespace {

constexpr auto kHardwareQueryBudget = std::chrono::milliseconds(3000);
constexpr auto kHardwareQueryPause = std::chrono::milliseconds(200);

} // namespace

ProgramSettings::ProgramSettings(ModeHost& host, Ui::TMainForm& window,
                                 pelvaro::ReadResult& readResult)
    : host_(host), window_(window), ReadResult(readResult) {}

void ProgramSettings::setUp(std::filesystem::path file, T_Serial_Interface& port) {
    settingsFile = std::move(file);
    settingsFile_ = QDir::toNativeSeparators(QString::fromStdU16String(settingsFile.u16string()));
    port_ = &port;
}

bool ProgramSettings::autoStart() const {
    return settingsDlg_ && settingsDlg_->controls().CheckBoxAutoStart->isChecked();
}

int ProgramSettings::cardLength() const {
    return settingsDlg_ ? settingsDlg_->controls().UpDownLength->value() : kDefaultCardLength;
}

bool ProgramSettings::hitagInverse() const {
    return !settingsDlg_ || settingsDlg_->controls().CheckBoxHitagInvers->isChecked();
}

void ProgramSettings::LoadSettings() {
    const SerialSettings serial = readSerialSettings(settingsFile);
    const GlobalSettings global = readGlobalSettings(settingsFile);
    PortNumber = serial.port;
    delivery_ = readDeliverySettings(settingsFile);
    ReadResult.cardLength = serial.cardLength;
    ReadResult.hitagInverse = serial.hitagInverse;
    // Each box reacts as to a click when its value changes; saving is still
    // off while the first three are set, so loading never writes.
    window_.CheckBoxLF->setChecked(global.lineFeed);
    window_.CheckBoxShowTray->setChecked(global.sysTray);
    window_.CheckBoxSndPSNR->setChecked(global.sendPersonnelNumber);
    if (settingsDlg_) {
        settingsDlg_->controls().CheckBoxAutoStart->setChecked(global.autostart);
        settingsDlg_->controls().CheckBoxSave->setChecked(global.autosave);
    }
    // The synchronous reads format with the dialog's controls: start them
    // from the stored values, not from the dialog's initial ones.
    showDecodingSettings();
}

void ProgramSettings::SaveSettings() {
    SerialSettings serial;
    serial.port = PortNumber;
    serial.cardLength = ReadResult.cardLength;
    serial.hitagInverse = ReadResult.hitagInverse;
    GlobalSettings global;
    global.lineFeed = window_.CheckBoxLF->isChecked();
    global.sysTray = window_.CheckBoxShowTray->isChecked();
    global.sendPersonnelNumber = window_.CheckBoxSndPSNR->isChecked();
    if (settingsDlg_) {
        global.autostart = settingsDlg_->controls().CheckBoxAutoStart->isChecked();
        global.autosave = settingsDlg_->controls().CheckBoxSave->isChecked();
    }
    // [Serial] before [Global]: a new file holds them in that order. Without
    // a target a file without [Delivery] stays without it.
    if (!writeSerialSettings(settingsFile, serial) || !writeGlobalSettings(settingsFile, global) ||
        !writeDeliverySettings(settingsFile, delivery_))
        reportUnsavedFile();
}

void ProgramSettings::setDelivery(DeliverySettings delivery) {
    delivery_ = std::move(delivery);
    if (savesSettings() && !writeDeliverySettings(settingsFile, delivery_))
        reportUnsavedFile();
}

void ProgramSettings::reportUnsavedFile() {
    host_.dialogs().note(
        QStringLiteral("Die Datei '") + settingsFile_ +
        QStringLiteral("' konnte nicht gespeichert werden.\n\nMögliche Ursachen:\n"
                       "-Schreibschutz der Datei aktiviert\n-Programm von CD gestartet"));
}

bool ProgramSettings::savesSettings() const {
    return settingsDlg_ && settingsDlg_->controls().CheckBoxSave->isChecked();
}

void ProgramSettings::saveIfEnabled() {
    if (savesSettings())
        SaveSettings();
}

void ProgramSettings::showPortInStatusBar() {
    host_.setStatusPanel(StatusPanel::Port, portStatusText(PortNumber));
}

void ProgramSettings::showDecodingSettings() {
    if (!settingsDlg_)
        return;
    // The control shows the length the reads use: 0 stands for the default.
    settingsDlg_->controls().UpDownLength->setValue(boundedCardLength(ReadResult.cardLength));
    settingsDlg_->controls().CheckBoxHitagInvers->setChecked(ReadResult.hitagInverse);
}

void ProgramSettings::Einstellungen1Click() {
    // The port list is made with the port object: not while a mode holds it.
    if (!settingsDlg_ || !host_.modes().idle())
        return;
    Ui::TSettingsDlg& dialog = settingsDlg_->controls();
    dialog.UpDownTO->setValue(TimeoutMs);
    settingsDlg_->setHardwareQuery([this] { HardwareInfo1Click(); });
    scanPorts();
    showDecodingSettings();

    const bool portsFound = dialog.ComboBoxPort->count() > 0;
    const QString StatusText = portStatusText(portsFound ? PortNumber : 0);
    if (!portsFound) {
        PortNumber = 0;
        host_.dialogs().error(QStringLiteral("Keinen seriellen Anschluß gefunden!\nBitte Leser "
                                             "anschließen und Programm neu starten!"));
    }
    host_.setStatusPanel(StatusPanel::Port, StatusText);
    const bool positionInList =
        PortListPosition >= 1 && PortListPosition <= dialog.ComboBoxPort->count();
    dialog.ComboBoxPort->setCurrentIndex(positionInList ? PortListPosition - 1 : -1);

    if (settingsDlg_->exec() == QDialog::Accepted) {
        TimeoutMs = dialog.UpDownTO->value();
        PortListPosition = dialog.ComboBoxPort->currentIndex() + 1;
        PortNumber = PortTable[static_cast<size_t>(PortListPosition)];
        window_.CheckBoxAutoNum->setChecked(dialog.CheckBoxAuto->isChecked());
        ReadResult.cardLength = dialog.UpDownLength->value();
        ReadResult.hitagInverse = dialog.CheckBoxHitagInvers->isChecked();
        if (dialog.CheckBoxSave->isChecked())
            SaveSettings();
    }
    showPortInStatusBar();
}

void ProgramSettings::scanPorts() {
    if (!settingsDlg_ || !port_ || !host_.modes().idle())
        return;
    QComboBox* list = settingsDlg_->controls().ComboBoxPort;
    const int configured = PortNumber;
    PortTable.fill(0);
    list->clear();
    const PortScan scan = findOpenablePorts(*port_);
    for (const int port : scan.openable) {
        list->addItem(QStringLiteral("Com%1").arg(port));
        PortTable[static_cast<size_t>(list->count())] = port;
        if (port == configured)
            PortListPosition = list->count();
    }
    // Probing does not change the configured port: only OK in the dialog or a
    // hardware query does.
    PortNumber = configured;
    const auto missing = scan.problems.find(configured);
    list->setToolTip(
        missing == scan.problems.end() ? QString() : portNotListedTip(configured, missing->second));
}

void ProgramSettings::HardwareInfo1Click() {
    if (!settingsDlg_)
        return;
    PortNumber =
        PortTable[static_cast<size_t>(settingsDlg_->controls().ComboBoxPort->currentIndex() + 1)];
    SynchronousRead read(host_, Mode::HardwareRequest);
    const auto deadline = std::chrono::steady_clock::now() + kHardwareQueryBudget;
    while (read.goingOn() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        if (HardwareQuery(ReaderProtocol::kReaderAddress))
            return;
        std::this_thread::sleep_for(kHardwareQueryPause);
    }
    // Ended by closing the window: no reader was looked for to the end.
    if (read.goingOn())
        host_.dialogs().error(QStringLiteral("Keinen Leser gefunden"));
}

bool ProgramSettings::HardwareQuery(int address) {
    ModeController& modes = host_.modes();
    if (modes.mode() != Mode::HardwareRequest)
        return false;
    const auto reply = requestHardwareReply(modes.engine(), static_cast<uint8_t>(address));
    if (!reply)
        return false;
    host_.dialogs().message(QStringLiteral("LeserHardware"),
                            QString::fromStdString(hardwareInfoText(*reply)), DialogButtons::Ok,
                            DialogIcon::Information);
    return true;
}

} // namespace pelvaro
