#include "app/MainDLG.h"

#include "app/InfoDialogs.h"
#include "app/SettingsFile.h"
#include "app/TSettingsDlg.h"
#include "app/WindowFrame.h"
#include "forms/ui_MainDLG.h"
#include "forms/ui_TSettingsDlg.h"
#include "list/CardLeds.h"
#include "list/CardList.h"
#include "list/CardListSaving.h"
#include "list/ListReadSession.h"
#include "modes/ModeMessages.h"
#include "modes/SynchronousRead.h"
#include "personnel/PersonnelDatabase.h"
#include "personnel/PersonnelMode.h"
#include "personnel/SqliteLibrary.h"
#include "reader/HardwareQuery.h"
#include "reader/PortDiscovery.h"
#include "redirect/KeystrokeOutput.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <chrono>
#include <new>
#include <thread>

namespace pelvaro {

namespace {

// The numbered errors of the modes and the start-up sequence.
constexpr int kErrorNoSerialObject = 1;
constexpr int kErrorOpenPort = 2;
constexpr int kErrorClosePort = 4;
constexpr int kErrorNoReadThread = 5;

constexpr int kActivityPanel = 1;
constexpr auto kHardwareQueryBudget = std::chrono::milliseconds(3000);
constexpr auto kHardwareQueryPause = std::chrono::milliseconds(200);
constexpr std::array<int, 3> kStatusPanelWidths = {80, 250, 100};
// After the first show, how often and how long the window manager's frame is looked for.
constexpr auto kFrameLookInterval = std::chrono::milliseconds(100);
constexpr int kFrameLooks = 30;

// A path as the file functions take it, right on every platform.
std::filesystem::path filePath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

QString pathText(const std::filesystem::path& path) {
    return QString::fromStdU16String(path.u16string());
}

} // namespace

// The main window's engine formats with the settings dialog's length and
// byte-order controls and stores the code as the current code.
class TMainForm::Decoding final : public DecodeBinding {
public:
    explicit Decoding(TMainForm& window) : window_(window) {}

    int cardLength() const override {
        return window_.settingsDlg_ ? window_.settingsDlg_->controls().UpDownLength->value()
                                    : kDefaultCardLength;
    }
    bool hitagInverse() const override {
        return !window_.settingsDlg_ ||
               window_.settingsDlg_->controls().CheckBoxHitagInvers->isChecked();
    }
    void storeCode(std::string_view code) override {
        window_.CurrentCode = QString::fromLatin1(code.data(), static_cast<qsizetype>(code.size()));
    }

private:
    TMainForm& window_;
};

TMainForm::TMainForm(UserDialogs& dialogs, FileLocations files,
                     const SerialSystemCalls* serialCalls, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), files_(std::move(files)), serialCalls_(serialCalls),
      modes_([this] { modeChanged(); }), ui(std::make_unique<Ui::TMainForm>()),
      decoding_(std::make_unique<Decoding>(*this)) {
    ui->setupUi(this);
    ui->ListViewKarten->header()->resizeSection(0, 150);
    ui->ListViewKarten->header()->resizeSection(1, 150);
    for (const auto& [column, width] : {std::pair{0, 50}, {1, 122}, {2, 109}})
        ui->StringGrid1->setColumnWidth(column, width);
    ui->StringGrid1->horizontalHeader()->setFixedHeight(20);
    ui->StatusBar->setSizeGripEnabled(false);
    ui->StatusBar->setFixedHeight(20);
    for (size_t panel = 0; panel < statusPanels_.size(); ++panel) {
        statusPanels_[panel] = new QLabel(this);
        statusPanels_[panel]->setFixedWidth(kStatusPanelWidths[panel]);
        statusPanels_[panel]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        ui->StatusBar->addWidget(statusPanels_[panel]);
    }
    for (QToolButton* pictureButton : {ui->SpeedButtonStart, ui->SpeedButtonStopp})
        pictureButton->setAccessibleName(pictureButton->toolTip());

    connect(ui->Beenden1, &QAction::triggered, this, &QWidget::close);
    connect(ui->Einstellungen1, &QAction::triggered, this, &TMainForm::Einstellungen1Click);
    connect(ui->HardwareInfo1, &QAction::triggered, this, &TMainForm::HardwareInfo1Click);
    connect(ui->ber1, &QAction::triggered, this, &TMainForm::ber1Click);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TMainForm::BitBtn1Click);
    connect(ui->PageControlMain, &QTabWidget::currentChanged, this,
            &TMainForm::PageControlMainChange);
    connect(ui->CheckBoxLF, &QCheckBox::toggled, this, [this] {
        UpdateRedirectStatus();
        saveSettingsIfEnabled();
    });
    connect(ui->CheckBoxShowTray, &QCheckBox::toggled, this, &TMainForm::saveSettingsIfEnabled);
    connect(ui->CheckBoxSndPSNR, &QCheckBox::toggled, this, &TMainForm::saveSettingsIfEnabled);

    PopupMenuData = new QMenu(this);
    QAction* Zeilelschen1 = PopupMenuData->addAction(QStringLiteral("Zeile löschen"));
    QAction* Zeilendern1 = PopupMenuData->addAction(QStringLiteral("Zeile ändern"));
    PopupMenuData->addSeparator();
    QAction* Listelschen1 = PopupMenuData->addAction(QStringLiteral("Liste löschen"));

    leds_ = std::make_unique<CardLeds>(*ui->ImageLED_green, *ui->ImageLED_red, *ui->Labelgreen,
                                       *ui->Labelred);
    personnelMode_ = new PersonnelMode(
        *this, *leds_,
        PersonnelPageControls{ui->Personalnummernbearbeiten1, ui->PageControlMain, ui->TabSheet1,
                              ui->ListViewKarten, ui->PanelPersonalNummern, ui->StringGrid1,
                              ui->OneCardButton, ui->ButtonExport, ui->ButtonClear});
    cardList_ = new CardList(*this, *ui->ListViewKarten, *ui->CheckBoxAutoNum, *PopupMenuData);
    listSession_ = new ListReadSession(*this, *cardList_, *leds_, *personnelMode_, this);
    listSaving_ = new CardListSaving(*this, *cardList_, *listSession_, *personnelMode_, this);
    connect(ui->ButtonReadKarten, &QPushButton::clicked, listSession_,
            &ListReadSession::ButtonReadKartenClick);
    connect(ui->ButtonStopp, &QPushButton::clicked, listSession_,
            &ListReadSession::ButtonStoppClick);
    connect(ui->OneCardButton, &QPushButton::clicked, listSession_,
            &ListReadSession::OneCardButtonClick);
    // The pop-up menu acts on the grid in personnel-number mode, else on the list.
    connect(Zeilelschen1, &QAction::triggered, this, [this] {
        personnelMode_->personnelMode() ? personnelMode_->Zeilelschen1Click()
                                        : cardList_->Zeilelschen1Click();
    });
    connect(Zeilendern1, &QAction::triggered, this, [this] {
        personnelMode_->personnelMode() ? personnelMode_->Zeilendern1Click()
                                        : cardList_->Zeilendern1Click();
    });
    connect(Listelschen1, &QAction::triggered, this, [this] {
        personnelMode_->personnelMode() ? personnelMode_->Listelschen1Click()
                                        : listSaving_->ButtonClearClick();
    });
    connect(ui->StringGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenuData->popup(ui->StringGrid1->viewport()->mapToGlobal(at));
    });
    tray_ = new TrayIcon(*ui->LabelUmleitungInfo, this);
    connect(tray_, &TrayIcon::showRequested, this, &QWidget::show);
    // Hidden in the notification area, the window's closing is no last window
    // closing: the program has to be ended by itself.
    connect(tray_, &TrayIcon::quitRequested, this, &TMainForm::closeProgram);
    connect(ui->SpeedButtonStart, &QToolButton::clicked, this, &TMainForm::SpeedButtonStartClick);
    connect(ui->SpeedButtonStopp, &QToolButton::clicked, this, &TMainForm::SpeedButtonStoppClick);

    connect(ui->ButtonExport, &QPushButton::clicked, listSaving_,
            &CardListSaving::ButtonExportClick);
    connect(ui->ButtonClear, &QPushButton::clicked, listSaving_, &CardListSaving::ButtonClearClick);

    // FormCreate
    HiddenToTray = false;
    StartingUp = true;
    TrayIconIndex = TrayImage::YellowDark;
    ui->LabelUmleitungInfo->setText(QStringLiteral("Umleitung aus!"));
    updateActions();
    ApplyPageSize();
}

TMainForm::~TMainForm() {
    // FormDestroy
    tray_->NotifyTray(TrayIcon::Delete, TrayImage::YellowLit);
    ReadThread.reset();
    if (SerialLink)
        SerialLink->close();
}

void TMainForm::attachDialogs(TSettingsDlg& settings, TIDD_Update_Info& updateInfo,
                              TInfoDLG& info) {
    settingsDlg_ = &settings;
    updateInfoDlg_ = &updateInfo;
    infoDlg_ = &info;
}

QString TMainForm::statusPanelText(int panel) const {
    return statusPanels_.at(static_cast<size_t>(panel))->text();
}

void TMainForm::setStatusPanel(int panel, const QString& text) {
    statusPanels_.at(static_cast<size_t>(panel))->setText(text);
}

void TMainForm::modeChanged() {
    updateActions();
    if (closeWhenIdle_ && modes_.idle()) {
        closeWhenIdle_ = false;
        QMetaObject::invokeMethod(this, &TMainForm::closeProgram, Qt::QueuedConnection);
    }
}

void TMainForm::updateActions() {
    const Mode mode = modes_.mode();
    const bool listReading = mode == Mode::ListReading;
    const bool singleRead = mode == Mode::SingleRead;
    const bool redirect = mode == Mode::Redirect;
    for (QMenu* menu : {ui->Optionen1, ui->Info1, ui->Dat1})
        menu->menuAction()->setEnabled(!listReading && !singleRead && !redirect);
    ui->Personalnummernbearbeiten1->setEnabled(SqliteBound && !listReading && !redirect);
    ui->ButtonStopp->setEnabled(listReading);
    for (QPushButton* reading : {ui->ButtonReadKarten, ui->OneCardButton})
        reading->setEnabled(!listReading && !singleRead);
    for (QPushButton* listButton : {ui->ButtonExport, ui->ButtonClear})
        listButton->setEnabled(!listReading);
    // Redirect mode's start stays reachable during a list read; it is refused then.
    ui->SpeedButtonStart->setEnabled(!redirect);
    ui->SpeedButtonStopp->setEnabled(redirect);
    const auto hourglass = [](QWidget* widget, bool waiting) {
        waiting ? widget->setCursor(Qt::WaitCursor) : widget->unsetCursor();
    };
    hourglass(ui->PageControlMain, listReading);
    hourglass(ui->PanelPersonalNummern, singleRead);
    hourglass(this, redirect);
    UpdateRedirectStatus();
}

void TMainForm::closeProgram() {
    // Hidden in the notification area, the window's closing is no last window
    // closing: the program has to be ended by itself.
    if (close())
        QCoreApplication::quit();
}

void TMainForm::showDatabaseMessage(const std::string& text) {
    dialogs_.message(QStringLiteral("Error"), QString::fromStdString(text), DialogButtons::Ok,
                     DialogIcon::None);
}

void TMainForm::bindPersonnelDatabase() {
    const SqliteBinding binding = BindSqliteLibrary(files_);
    for (const std::string& message : binding.messages)
        showDatabaseMessage(message);
    SqliteBound = binding.library != nullptr;
    if (!SqliteBound)
        return;
    PersonnelDb = std::make_unique<PersonnelDatabase>(binding.library);
    if (const auto failure = PersonnelDb->OpenPersonnelDatabase(files_.databaseDirectory))
        showDatabaseMessage(*failure);
    SqliteBound = PersonnelDb->isOpen();
    personnelMode_->setDatabase(SqliteBound ? PersonnelDb.get() : nullptr);
}

void TMainForm::showPortInStatusBar() {
    setStatusPanel(0, PortNumber != 0 ? QString::asprintf("Port: Com %02d", PortNumber)
                                      : QStringLiteral("Port: NA"));
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (HiddenToTray) {
        HiddenToTray = false; // back from the notification area
        if (ui->CheckBoxShowTray->isChecked())
            tray_->NotifyTray(TrayIcon::Delete, TrayIconIndex);
        return;
    }
    if (shownBefore_)
        return;
    shownBefore_ = true;
    ApplyPageSize(); // with the frame known so far
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    // A window manager frames the window a little later, and not always with
    // an event of its own that would tell: look for the frame for a while.
    for (int look = 1; look <= kFrameLooks; ++look)
        QTimer::singleShot(look * kFrameLookInterval, this, [this] { holdOuterSize(); });
    // Before any input reaches the window, so no mode starts half set up.
    runStartUpSequence();
}

void TMainForm::runStartUpSequence() {
    try {
        ProgramDir = QDir(pathText(files_.programDirectory)).absolutePath() + QLatin1Char('/');
        settingsFile_ = QDir::toNativeSeparators(pathText(files_.settingsFile));
        bindPersonnelDatabase();
        updateActions();
        ui->CheckBoxSndPSNR->setEnabled(SqliteBound);
        const bool personnelMode = personnelMode_->personnelMode();
        ui->ListViewKarten->setVisible(!personnelMode);
        ui->PanelPersonalNummern->setVisible(personnelMode);
        cardList_->clearRows();
        personnelMode_->FillPersonnelGrid();
        TimeoutMs = 500;
        cardList_->AutoNumberCounter = 0;
        setStatusPanel(0, QStringLiteral("Port: NA"));

        SerialLink.reset(new (std::nothrow) T_Serial_Interface(
            false, PortMap(filePath(settingsFile_)), serialCalls_));
        if (!SerialLink)
            throw kErrorNoSerialObject;
        engine_ = std::make_unique<ReaderProtocol>(*SerialLink, *decoding_,
                                                   [] { QCoreApplication::processEvents(); });
        modes_.attach(*SerialLink, *engine_);

        LoadSettings();
        // The synchronous reads format with the dialog's controls: start them
        // from the stored values, not from the dialog's initial ones.
        showDecodingSettings();
        if (PortNumber != 0)
            showPortInStatusBar();
        if (settingsDlg_ && settingsDlg_->controls().CheckBoxAutoStart->isChecked()) {
            if (hidesIntoTray()) {
                ReadResult.hideOnStart = true;
                HiddenToTray = true;
            }
            ui->PageControlMain->setCurrentWidget(ui->TabSheet2);
            ApplyPageSize();
        }
        ReadThread.reset(new (std::nothrow) TReadSerialThread(this));
        if (!ReadThread)
            throw kErrorNoReadThread;
        ReadThread->setup(*SerialLink, ReadResult, *this);
        if (settingsDlg_ && settingsDlg_->controls().CheckBoxAutoStart->isChecked())
            SpeedButtonStartClick();
    } catch (int error) {
        reportModeError(error);
        if (SerialLink)
            SerialLink->close();
    } catch (...) {
        if (SerialLink)
            SerialLink->close();
    }
    // Also after an error: the window is usable, so it is no longer starting.
    StartingUp = false;
}

void TMainForm::reportModeError(int error) {
    switch (error) {
    case kErrorNoSerialObject:
        StatusText = QStringLiteral("kein Speicher für serielle Klasse");
        break;
    case kErrorOpenPort:
        StatusText = portOpenFailureText(PortNumber);
        break;
    case kErrorClosePort:
        StatusText = portCloseFailureText(PortNumber);
        break;
    case kErrorNoReadThread:
        StatusText = QStringLiteral("kein Speicher für ReadThread");
        break;
    default:
        StatusText = QString::asprintf("unbekannter Fehler %d ", error);
        break;
    }
    if (error == kErrorNoSerialObject || error == kErrorOpenPort || error == kErrorNoReadThread)
        StopRequested = true;
    dialogs_.error(StatusText);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // FormClose: a running synchronous read ends at its next pass.
    StopRequested = true;
    QCoreApplication::processEvents();
    // That read runs below this handler and could still take a card: it ends
    // first, then the close comes again.
    if (modes_.synchronousReadRunning()) {
        closeWhenIdle_ = true;
        event->ignore();
        return;
    }
    const bool entries =
        personnelMode_->personnelMode() ? cardList_->EntryCount != 0 : cardList_->rowCount() != 0;
    // Yes to saving but nothing written: the window stays with its list.
    if (entries && !listSaving_->AskSaveAndClear()) {
        event->ignore();
        return;
    }
    if (ReadThread) {
        pauseReadThread();
        ReadThread->requestTermination();
    }
    if (SqliteBound)
        if (const auto failure = PersonnelDb->ClosePersonnelDatabase())
            showDatabaseMessage(*failure);
    event->accept();
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Minimised with "Automatisch Minimieren" on: into the notification area.
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !hidesIntoTray())
        return;
    // Hidden instead of minimised: shown again it comes back as it was.
    // Leaving the minimised state sends a show event of its own, which must
    // come before the window counts as hidden in the notification area.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    tray_->NotifyTray(TrayIcon::Add, TrayIconIndex);
    tray_->NotifyTray(TrayIcon::Modify, TrayIconIndex);
    HiddenToTray = true;
    hide();
}

bool TMainForm::hidesIntoTray() const {
    // Without a notification area nothing would bring a hidden window back.
    return ui->CheckBoxShowTray->isChecked() && tray_->areaAvailable();
}

void TMainForm::pauseReadThread() {
    ReadThread->suspend();
    while (!ReadThread->isPaused())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void TMainForm::SpeedButtonStartClick() {
    // A read that holds the port keeps it: the start is refused and changes
    // nothing of that read.
    if (!modes_.idle()) {
        dialogs_.error(portOpenFailureText(PortNumber));
        return;
    }
    // Cards taken from the reader with no way to type them would be lost.
    if (!injector_) {
        failRedirectStart(keyboardUnavailable_);
        return;
    }
    if (!ReadThread || !modes_.begin(Mode::Redirect) ||
        SerialLink->open(PortNumber, kReaderBaudRate) != OpenResult::Opened) {
        failRedirectStart(portOpenFailureText(PortNumber));
        return;
    }
    setStatusPanel(kActivityPanel, QStringLiteral("Warte auf Karte..."));
    if (hidesIntoTray()) {
        tray_->NotifyTray(TrayIcon::Add, TrayIconIndex);
        tray_->NotifyTray(TrayIcon::Modify, TrayIconIndex);
        HiddenToTray = true;
        if (!StartingUp)
            hide();
    }
    SerialLink->flush();
    ReadThread->resume();
}

void TMainForm::failRedirectStart(const QString& reason) {
    SpeedButtonStoppClick();
    ReadResult.hideOnStart = false; // a later start must not hide the window
    if (HiddenToTray)
        show();
    dialogs_.error(reason);
}

void TMainForm::SpeedButtonStoppClick() {
    // Only redirect mode's own stop, or a failed start's.
    if (!modes_.idle() && modes_.mode() != Mode::Redirect)
        return;
    StopRequested = true;
    QCoreApplication::processEvents();
    if (ReadThread)
        pauseReadThread();
    modes_.end(Mode::Redirect);
    tray_->setNotice(QString());
    if (injector_)
        injector_->release();
}

void TMainForm::WMReaderEvent(ReaderEvent event) {
    switch (event) {
    case READER_EVENT_CODE:
        setStatusPanel(kActivityPanel, QStringLiteral("Karte gelesen, Warte auf Karte..."));
        CurrentCode = QString::fromLatin1(ReadResult.code.data());
        tray_->NotifyTray(TrayIcon::Modify, TrayImage::GreenLit);
        SendCodeAsKeystrokes();
        break;
    case READER_EVENT_CLEAR:
        tray_->NotifyTray(TrayIcon::Modify, TrayImage::YellowLit);
        break;
    case READER_EVENT_WAITING:
        setStatusPanel(kActivityPanel, QStringLiteral("Warte auf Karte..."));
        break;
    case READER_EVENT_HIDE:
        hide();
        break;
    case READER_EVENT_LOST:
        setStatusPanel(kActivityPanel, QString::fromUtf8(kReaderLostText));
        tray_->setNotice(QString::fromUtf8(kReaderLostText));
        tray_->NotifyTray(TrayIcon::Modify, TrayImage::RedLit);
        break;
    case READER_EVENT_BACK:
        setStatusPanel(kActivityPanel, QStringLiteral("Warte auf Karte..."));
        tray_->setNotice(QString());
        tray_->NotifyTray(TrayIcon::Modify, TrayIconIndex);
        break;
    }
}

void TMainForm::SendCodeAsKeystrokes() {
    if (!injector_)
        return;
    const bool substitute = ui->CheckBoxSndPSNR->isChecked() && SqliteBound;
    const std::string text =
        TextToType(CurrentCode.toStdString(), substitute, [this](std::string_view code) {
            return PersonnelDb->LookupPersonnelNumber(code);
        });
    sendKeystrokes(*injector_, text, ui->CheckBoxLF->isChecked());
}

void TMainForm::ApplyPageSize() {
    const bool redirectPage = ui->PageControlMain->currentWidget() == ui->TabSheet2;
    const QSize outer = redirectPage ? QSize(kRedirectPageWidth, kRedirectPageHeight)
                                     : QSize(kListPageWidth, kListPageHeight);
    // The sizes are the window's outer size, frame included where there is one.
    appliedFrame_ = windowFrameSize(*this);
    setFixedSize(outer - appliedFrame_);
}

bool TMainForm::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    // The manager may change the frame later too; it is done with the window
    // when it activates, moves or resizes it.
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowActivate || type == QEvent::Move || type == QEvent::Resize)
        holdOuterSize();
    return handled;
}

void TMainForm::holdOuterSize() {
    // Applied only once the manager has framed the window: a size changed
    // while it still places the window makes it place the window anew.
    if (shownBefore_ && !isMinimized() && windowFrameSize(*this) != appliedFrame_)
        ApplyPageSize();
}

void TMainForm::PageControlMainChange(int index) {
    // No page change while redirect mode runs.
    if (modes_.mode() == Mode::Redirect) {
        const QSignalBlocker blocker(ui->PageControlMain);
        ui->PageControlMain->setCurrentIndex(shownPage_);
        return;
    }
    shownPage_ = index;
    ApplyPageSize();
}

void TMainForm::UpdateRedirectStatus() {
    const bool active = modes_.mode() == Mode::Redirect;
    QString text = active ? QStringLiteral("Umleitung aktiv!") : QStringLiteral("Umleitung aus!");
    if (ui->CheckBoxLF->isChecked())
        text += QStringLiteral("\nKartennummer+<ENTER>\n");
    ui->LabelUmleitungInfo->setText(text);
    TrayIconIndex = active ? TrayImage::YellowLit : TrayImage::YellowDark;
}

void TMainForm::LoadSettings() {
    const StoredSettings stored = readStoredSettings(filePath(settingsFile_));
    PortNumber = stored.port;
    ReadResult.cardLength = stored.cardLength;
    ReadResult.hitagInverse = stored.hitagInverse;
    // Each box reacts as to a click when its value changes; saving is still
    // off while the first three are set, so loading never writes.
    ui->CheckBoxLF->setChecked(stored.lineFeed);
    ui->CheckBoxShowTray->setChecked(stored.sysTray);
    ui->CheckBoxSndPSNR->setChecked(stored.sendPersonnelNumber);
    if (settingsDlg_) {
        settingsDlg_->controls().CheckBoxAutoStart->setChecked(stored.autostart);
        settingsDlg_->controls().CheckBoxSave->setChecked(stored.autosave);
    }
}

void TMainForm::SaveSettings() {
    StoredSettings stored;
    stored.port = PortNumber;
    stored.cardLength = ReadResult.cardLength;
    stored.hitagInverse = ReadResult.hitagInverse;
    stored.lineFeed = ui->CheckBoxLF->isChecked();
    stored.sysTray = ui->CheckBoxShowTray->isChecked();
    stored.sendPersonnelNumber = ui->CheckBoxSndPSNR->isChecked();
    if (settingsDlg_) {
        stored.autostart = settingsDlg_->controls().CheckBoxAutoStart->isChecked();
        stored.autosave = settingsDlg_->controls().CheckBoxSave->isChecked();
    }
    if (!writeStoredSettings(filePath(settingsFile_), stored)) {
        dialogs_.note(
            QStringLiteral("Die Datei '") + settingsFile_ +
            QStringLiteral("' konnte nicht gespeichert werden.\n\nMögliche Ursachen:\n"
                           "-Schreibschutz der Datei aktiviert\n-Programm von CD gestartet"));
    }
}

void TMainForm::saveSettingsIfEnabled() {
    if (settingsDlg_ && settingsDlg_->controls().CheckBoxSave->isChecked())
        SaveSettings();
}

void TMainForm::showDecodingSettings() {
    if (!settingsDlg_)
        return;
    // The control shows the length the reads use: 0 stands for the default.
    settingsDlg_->controls().UpDownLength->setValue(boundedCardLength(ReadResult.cardLength));
    settingsDlg_->controls().CheckBoxHitagInvers->setChecked(ReadResult.hitagInverse);
}

void TMainForm::Einstellungen1Click() {
    // The port list is made with the port object: not while a mode holds it.
    if (!settingsDlg_ || !modes_.idle())
        return;
    Ui::TSettingsDlg& dialog = settingsDlg_->controls();
    dialog.UpDownTO->setValue(TimeoutMs);
    settingsDlg_->setHardwareQuery([this] { HardwareInfo1Click(); });
    scanPorts();
    showDecodingSettings();

    StatusText = QStringLiteral("Port: NA");
    if (dialog.ComboBoxPort->count() > 0 && PortNumber != 0)
        StatusText = QString::asprintf("Port: Com %02d", PortNumber);
    if (dialog.ComboBoxPort->count() == 0) {
        PortNumber = 0;
        dialogs_.error(QStringLiteral("Keinen seriellen Anschluß gefunden!\nBitte Leser "
                                      "anschließen und Programm neu starten!"));
    }
    setStatusPanel(0, StatusText);
    const bool positionInList =
        PortListPosition >= 1 && PortListPosition <= dialog.ComboBoxPort->count();
    dialog.ComboBoxPort->setCurrentIndex(positionInList ? PortListPosition - 1 : -1);

    if (settingsDlg_->exec() == QDialog::Accepted) {
        TimeoutMs = dialog.UpDownTO->value();
        PortListPosition = dialog.ComboBoxPort->currentIndex() + 1;
        PortNumber = PortTable[static_cast<size_t>(PortListPosition)];
        ui->CheckBoxAutoNum->setChecked(dialog.CheckBoxAuto->isChecked());
        ReadResult.cardLength = dialog.UpDownLength->value();
        ReadResult.hitagInverse = dialog.CheckBoxHitagInvers->isChecked();
        if (dialog.CheckBoxSave->isChecked())
            SaveSettings();
    }
    showPortInStatusBar();
}

void TMainForm::scanPorts() {
    if (!settingsDlg_ || !SerialLink || !modes_.idle())
        return;
    QComboBox* list = settingsDlg_->controls().ComboBoxPort;
    const int configured = PortNumber;
    PortTable.fill(0);
    list->clear();
    for (const int port : findOpenablePorts(*SerialLink)) {
        list->addItem(QStringLiteral("Com%1").arg(port));
        PortTable[static_cast<size_t>(list->count())] = port;
        if (port == configured)
            PortListPosition = list->count();
    }
    // Probing does not change the configured port: only OK in the dialog or a
    // hardware query does.
    PortNumber = configured;
}

void TMainForm::HardwareInfo1Click() {
    if (!settingsDlg_)
        return;
    PortNumber =
        PortTable[static_cast<size_t>(settingsDlg_->controls().ComboBoxPort->currentIndex() + 1)];
    SynchronousRead read(*this, Mode::HardwareQuery);
    const auto deadline = std::chrono::steady_clock::now() + kHardwareQueryBudget;
    while (read.goingOn() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        if (HardwareQuery(ReaderProtocol::kReaderAddress))
            return;
        std::this_thread::sleep_for(kHardwareQueryPause);
    }
    // Ended by closing the window: no reader was looked for to the end.
    if (read.goingOn())
        dialogs_.error(QStringLiteral("Keinen Leser gefunden"));
}

bool TMainForm::HardwareQuery(int address) {
    if (modes_.mode() != Mode::HardwareQuery)
        return false;
    const auto reply = queryHardware(modes_.engine(), static_cast<uint8_t>(address));
    if (!reply)
        return false;
    dialogs_.message(QStringLiteral("LeserHardware"),
                     QString::fromStdString(hardwareInfoText(*reply)), DialogButtons::Ok,
                     DialogIcon::Information);
    return true;
}

void TMainForm::ber1Click() {
    if (infoDlg_)
        infoDlg_->exec();
}

void TMainForm::BitBtn1Click() {
    if (updateInfoDlg_)
        updateInfoDlg_->exec();
}

} // namespace pelvaro
