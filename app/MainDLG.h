#pragma once

#include "app/TrayIcon.h"
#include "fileio/FileLocations.h"
#include "modes/ModeHost.h"
#include "modes/UserDialogs.h"
#include "reader/ReadResult.h"
#include "reader/ReaderProtocol.h"
#include "reader/TThread_Read.h"
#include "reader/T_Serial_Interface.h"
#include "redirect/KeystrokeInjector.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QLabel;
class QMenu;

namespace Ui {
class TMainForm;
}

namespace pelvaro {

class CardLeds;
class CardList;
class CardListSaving;
class ListReadSession;
class PersonnelDatabase;
class PersonnelMode;
class TSettingsDlg;
class TInfoDLG;
class TIDD_Update_Info;

// The main window: both pages, status bar and menus, the state every mode
// shares, the start-up sequence on first show and the orderly shutdown.
class TMainForm : public QMainWindow, private ModeHost, public ReaderEventSink {
    Q_OBJECT

public:
    static constexpr int kListPageWidth = 540;
    static constexpr int kListPageHeight = 460;
    static constexpr int kRedirectPageWidth = 420;
    static constexpr int kRedirectPageHeight = 320;

    // files: where the settings file, the database and the library are
    // (beside the executable or in the user's folders). serialCalls: the
    // system calls of the serial port; the real ones unless a test injects faults.
    TMainForm(UserDialogs& dialogs, FileLocations files,
              const SerialSystemCalls* serialCalls = nullptr, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The dialogs the program entry created after this window.
    void attachDialogs(TSettingsDlg& settings, TIDD_Update_Info& updateInfo, TInfoDLG& info);

    Ui::TMainForm& controls() { return *ui; }
    CardList& cardList() { return *cardList_; }
    ListReadSession& listSession() { return *listSession_; }
    CardListSaving& listSaving() { return *listSaving_; }
    PersonnelMode& personnel() { return *personnelMode_; }
    TrayIcon& trayIcon() { return *tray_; }
    const ModeController& modeController() const { return modes_; }
    QString statusPanelText(int panel) const;
    const QString& settingsFilePath() const { return settingsFile_; }

    // Menu and button handlers.
    void Einstellungen1Click();
    void HardwareInfo1Click();
    void ber1Click();
    void BitBtn1Click();

    // Redirect mode.
    void SpeedButtonStartClick();
    void SpeedButtonStoppClick();
    void WMReaderEvent(ReaderEvent event) override;
    // Where the codes read in redirect mode are typed. Without an injector
    // redirect mode does not start, and says why: unavailable.
    void setKeyboard(std::unique_ptr<KeystrokeInjector> injector, QString unavailable) {
        injector_ = std::move(injector);
        keyboardUnavailable_ = std::move(unavailable);
    }

    // Port discovery for the settings dialog's port list.
    void scanPorts();
    // One hardware request to the reader; true if its answer was shown.
    bool HardwareQuery(int address);

    void LoadSettings();
    void SaveSettings();
    void ApplyPageSize();
    void UpdateRedirectStatus();

    // State shared by the modes.
    QString ProgramDir;
    bool SqliteBound = false;
    int PortNumber = 0;
    std::array<int, 256> PortTable{};
    int PortListPosition = 0;
    int TimeoutMs = 500;
    pelvaro::ReadResult ReadResult;
    QString CurrentCode;
    std::unique_ptr<T_Serial_Interface> SerialLink;
    std::unique_ptr<PersonnelDatabase> PersonnelDb;
    bool StopRequested = false;
    bool HiddenToTray = false;
    bool StartingUp = true;
    TrayImage TrayIconIndex = TrayImage::YellowDark;
    QString StatusText;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    class Decoding;

    // ModeHost
    ModeController& modes() override { return modes_; }
    int portNumber() const override { return PortNumber; }
    const QString& currentCode() const override { return CurrentCode; }
    bool& stopRequested() override { return StopRequested; }
    UserDialogs& dialogs() override { return dialogs_; }
    void setStatusPanel(int panel, const QString& text) override;

    // What every mode locks, derived from the mode that runs; and a close
    // that waited for a read to end.
    void modeChanged();
    void updateActions();
    void closeProgram();

    void bindPersonnelDatabase();
    void pauseReadThread();
    // The outer size again when the window manager's frame has changed.
    void holdOuterSize();
    // "Automatisch Minimieren" is on and a notification area takes the icon.
    bool hidesIntoTray() const;
    void SendCodeAsKeystrokes();
    // A start that fails: the stop, the window back, the reason in a box.
    void failRedirectStart(const QString& reason);
    void showDatabaseMessage(const std::string& text);

    void runStartUpSequence();
    void reportModeError(int error);
    void showPortInStatusBar();
    void PageControlMainChange(int index);
    void saveSettingsIfEnabled();
    // The settings dialog's card-length and byte-order controls from ReadResult.
    void showDecodingSettings();

    UserDialogs& dialogs_;
    const FileLocations files_;
    const SerialSystemCalls* serialCalls_;
    QString settingsFile_;
    ModeController modes_;
    std::unique_ptr<Ui::TMainForm> ui;
    std::array<QLabel*, 3> statusPanels_{};
    std::unique_ptr<Decoding> decoding_;
    std::unique_ptr<ReaderProtocol> engine_;
    QMenu* PopupMenuData = nullptr;
    std::unique_ptr<CardLeds> leds_;
    CardList* cardList_ = nullptr;
    ListReadSession* listSession_ = nullptr;
    CardListSaving* listSaving_ = nullptr;
    PersonnelMode* personnelMode_ = nullptr;
    TrayIcon* tray_ = nullptr;
    std::unique_ptr<TReadSerialThread> ReadThread;
    std::unique_ptr<KeystrokeInjector> injector_;
    QString keyboardUnavailable_;
    TSettingsDlg* settingsDlg_ = nullptr;
    TIDD_Update_Info* updateInfoDlg_ = nullptr;
    TInfoDLG* infoDlg_ = nullptr;
    bool shownBefore_ = false;
    // The window manager's frame the page size was last applied with.
    QSize appliedFrame_;
    bool closeWhenIdle_ = false; // a close came while a read ran below it
    int shownPage_ = 0;
};

} // namespace pelvaro
