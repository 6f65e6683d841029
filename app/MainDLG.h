#pragma once

#include "fileio/FileLocations.h"
#include "keyboard/KeystrokeInjector.h"
#include "modes/ModeHost.h"
#include "reader/ReaderProtocol.h"
#include "reader/T_Serial_Interface.h"

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
class OutputOptions;
class PersonnelDatabase;
class PersonnelMode;
class ProgramDelivery;
class ProgramPersonnelServer;
class ProgramSettings;
class RedirectMode;
class SqliteLibrary;
class TDeliveryDlg;
class TPersonnelServerDlg;
class TrayIcon;
class TrayWindow;
class TOutputDlg;
class TSettingsDlg;
class TInfoDLG;
class TIDD_Update_Info;

namespace test {
class ProgramFixture;
}

// The main window: it composes the modes (list reading, personnel numbers,
// redirect), the settings and the notification area on its two pages, holds
// what they share (the port, the engine, the current code, the personnel
// database), runs the start-up sequence on first show and shuts down in order.
class TMainForm : public QMainWindow, private ModeHost {
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
    void attachDialogs(TSettingsDlg& settings, TOutputDlg& output, TDeliveryDlg& delivery,
                       TPersonnelServerDlg& personnelServer, TIDD_Update_Info& updateInfo,
                       TInfoDLG& info);
    // Where the codes read in redirect mode are typed. Without an injector
    // redirect mode does not start, and says why: unavailable.
    void setKeyboard(std::unique_ptr<KeystrokeInjector> injector, QString unavailable);

    Ui::TMainForm& controls() { return *ui; }
    CardList& cardList() { return *cardList_; }
    ListReadSession& listSession() { return *listSession_; }
    CardListSaving& listSaving() { return *listSaving_; }
    PersonnelMode& personnel() { return *personnelMode_; }
    TrayIcon& trayIcon();
    const ModeController& modeController() const { return modes_; }
    QString statusPanelText(StatusPanel panel) const;

    // Menu and button handlers.
    void Einstellungen1Click();
    void Ausgabe1Click();
    void Versand1Click();
    void PersonalnummernServer1Click();
    void HardwareInfo1Click();
    void ber1Click();
    void BitBtn1Click();
    void SpeedButtonStartClick();
    void SpeedButtonStoppClick();

    void ApplyPageSize();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    friend class test::ProgramFixture;
    class Decoding;

    // ModeHost
    ModeHost& host() { return *this; }
    ModeController& modes() override { return modes_; }
    int portNumber() const override;
    const QString& currentCode() const override { return CurrentCode; }
    void setCurrentCode(const QString& code) override { CurrentCode = code; }
    bool stopRequested() const override { return StopRequested; }
    void requestStop() override { StopRequested = true; }
    void clearStopRequest() override { StopRequested = false; }
    UserDialogs& dialogs() override { return dialogs_; }
    void setStatusPanel(StatusPanel panel, const QString& text) override;
    static void showPanelTip(QLabel& panel, const QString& tip);
    // The spare panel's tip: its text, and below it the reads waiting for delivery.
    void showSpareTip();
    void showDeliveryWaiting(const QString& line);
    // After a start that could not open the configured port, the port
    // panel's tip adds why; its text stays.
    void showPortProblem();

    void makeStatusPanels();
    void makeListPage();
    void makeRedirectPage();
    // What every mode locks, derived from the mode that runs; and a close
    // that waited for a read to end.
    void modeChanged();
    void updateActions();
    void closeProgram();

    void bindPersonnelDatabase();
    void showDatabaseMessage(const std::string& text);
    // The outer size again when the window manager's frame has changed.
    void holdOuterSize();

    void runStartUpSequence();
    void reportModeError(int error);
    void PageControlMainChange(int index);

    UserDialogs& dialogs_;
    const FileLocations files_;
    const SerialSystemCalls* serialCalls_;
    ModeController modes_;
    std::unique_ptr<Ui::TMainForm> ui;
    std::array<QLabel*, 3> statusPanels_{};
    std::unique_ptr<Decoding> decoding_;
    QMenu* PopupMenuData = nullptr;
    std::unique_ptr<CardLeds> leds_;
    CardList* cardList_ = nullptr;
    ListReadSession* listSession_ = nullptr;
    CardListSaving* listSaving_ = nullptr;
    PersonnelMode* personnelMode_ = nullptr;
    TIDD_Update_Info* updateInfoDlg_ = nullptr;
    TInfoDLG* infoDlg_ = nullptr;

    // What the modes share.
    std::unique_ptr<T_Serial_Interface> SerialLink;
    std::unique_ptr<ReaderProtocol> engine_;
    std::unique_ptr<PersonnelDatabase> PersonnelDb;
    std::shared_ptr<const SqliteLibrary> sqlite_;
    bool SqliteBound = false;
    QString CurrentCode;
    bool StopRequested = false;
    bool StartingUp = true;

    // Declared after what they use, so that they go first.
    std::unique_ptr<TrayWindow> tray_;
    std::unique_ptr<RedirectMode> redirect_;
    std::unique_ptr<ProgramSettings> settings_;
    std::unique_ptr<OutputOptions> output_;
    std::unique_ptr<ProgramDelivery> delivery_;
    std::unique_ptr<ProgramPersonnelServer> personnelServer_;
    QString deliveryWaiting_;

    bool shownBefore_ = false;
    // The window manager's frame the page size was last applied with.
    QSize appliedFrame_;
    bool closeWhenIdle_ = false; // a close came while a read ran below it
    int shownPage_ = 0;
};

} // namespace pelvaro
