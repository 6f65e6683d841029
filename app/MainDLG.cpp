#include "app/MainDLG.h"

#include "app/InfoDialogs.h"
#include "app/OutputOptions.h"
#include "app/ProgramDelivery.h"
#include "app/ProgramPersonnelServer.h"
#include "app/ProgramSettings.h"
#include "app/TSettingsDlg.h"
#include "app/WindowFrame.h"
#include "forms/ui_MainDLG.h"
#include "list/CardLeds.h"
#include "list/CardList.h"
#include "list/CardListSaving.h"
#include "list/ListReadSession.h"
#include "modes/ModeMessages.h"
#include "personnel/PersonnelDatabase.h"
#include "personnel/PersonnelMode.h"
#include "personnel/SqliteLibrary.h"
#include "redirect/RedirectMode.h"
#include "tray/TrayWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTimer>
#include <chrono>
#include <new>

namespace pelvaro {

namespace {

// The numbered errors of the start-up sequence.
constexpr int kErrorNoSerialObject = 1;
constexpr int kErrorOpenPort = 2;
constexpr int kErrorClosePort = 4;
constexpr int kErrorNoReadThread = 5;

// After the first show, how often and how long the window manager's frame is looked for.
constexpr auto kFrameLookInterval = std::chrono::milliseconds(100);
constexpr int kFrameLooks = 30;

} // namespace

// The main window's engine formats with the settings dialog's length and
// byte-order controls and stores the code as the current code.
class TMainForm::Decoding final : public DecodeBinding {
public:
    explicit Decoding(TMainForm& window) : window_(window) {}

    int cardLength() const override { return window_.settings_->cardLength(); }
    bool hitagInverse() const override { return window_.settings_->hitagInverse(); }
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
    makeStatusPanels();
    makeListPage();
    makeRedirectPage();
    settings_ = std::make_unique<ProgramSettings>(host(), *ui, redirect_->readResult());
    output_ = std::make_unique<OutputOptions>(
        host(), *settings_, *redirect_,
        OutputOptions::Controls{ui->CheckBoxLF, ui->CheckBoxSndPSNR}, files_.databaseDirectory);
    delivery_ = std::make_unique<ProgramDelivery>(
        host(), *settings_,
        ProgramDelivery::Parts{*redirect_, *listSession_, tray_->icon(),
                               [this](const QString& line) { showDeliveryWaiting(line); }},
        files_);
    personnelServer_ = std::make_unique<ProgramPersonnelServer>(
        host(), *settings_,
        ProgramPersonnelServer::Parts{*personnelMode_, *ui->StringGrid1, *ui->LabelPersonnelServer,
                                      *ui->Personalnummernuebertragen1},
        files_);

    connect(ui->Beenden1, &QAction::triggered, this, &QWidget::close);
    connect(ui->Einstellungen1, &QAction::triggered, this, &TMainForm::Einstellungen1Click);
    connect(ui->Ausgabe1, &QAction::triggered, this, &TMainForm::Ausgabe1Click);
    connect(ui->Versand1, &QAction::triggered, this, &TMainForm::Versand1Click);
    connect(ui->PersonalnummernServer1, &QAction::triggered, this,
            &TMainForm::PersonalnummernServer1Click);
    connect(ui->HardwareInfo1, &QAction::triggered, this, &TMainForm::HardwareInfo1Click);
    connect(ui->ber1, &QAction::triggered, this, &TMainForm::ber1Click);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TMainForm::BitBtn1Click);
    connect(ui->PageControlMain, &QTabWidget::currentChanged, this,
            &TMainForm::PageControlMainChange);
    connect(ui->CheckBoxLF, &QCheckBox::toggled, this, [this] {
        redirect_->UpdateRedirectStatus();
        settings_->saveIfEnabled();
    });
    for (QCheckBox* setting : {ui->CheckBoxShowTray, ui->CheckBoxSndPSNR})
        connect(setting, &QCheckBox::toggled, this, [this] { settings_->saveIfEnabled(); });

    // FormCreate
    updateActions();
    ApplyPageSize();
}

TMainForm::~TMainForm() {
    // FormDestroy
    tray_->icon().NotifyTray(TrayIcon::Delete, TrayImage::YellowLit);
    delivery_.reset();
    personnelServer_.reset();
    redirect_.reset();
    if (SerialLink)
        SerialLink->close();
}

void TMainForm::attachDialogs(TSettingsDlg& settings, TOutputDlg& output, TDeliveryDlg& delivery,
                              TPersonnelServerDlg& personnelServer, TIDD_Update_Info& updateInfo,
                              TInfoDLG& info) {
    settings_->attachDialog(settings);
    output_->attachDialog(output);
    delivery_->attachDialog(delivery);
    personnelServer_->attachDialog(personnelServer);
    updateInfoDlg_ = &updateInfo;
    infoDlg_ = &info;
}

void TMainForm::setKeyboard(std::unique_ptr<KeystrokeInjector> injector, QString unavailable) {
    redirect_->setKeyboard(std::move(injector), std::move(unavailable));
}

TrayIcon& TMainForm::trayIcon() {
    return tray_->icon();
}

int TMainForm::portNumber() const {
    return settings_->portNumber();
}

QString TMainForm::statusPanelText(StatusPanel panel) const {
    return statusPanels_.at(static_cast<size_t>(panel))->text();
}

void TMainForm::setStatusPanel(StatusPanel panel, const QString& text) {
    QLabel* label = statusPanels_.at(static_cast<size_t>(panel));
    label->setText(text);
    panel == StatusPanel::Spare ? showSpareTip() : showPanelTip(*label, text);
}

void TMainForm::showSpareTip() {
    QLabel& spare = *statusPanels_.at(static_cast<size_t>(StatusPanel::Spare));
    QStringList lines;
    for (const QString& line : {spare.text(), deliveryWaiting_})
        if (!line.isEmpty())
            lines << line;
    showPanelTip(spare, lines.join(QLatin1Char('\n')));
}

void TMainForm::showDeliveryWaiting(const QString& line) {
    deliveryWaiting_ = line;
    showSpareTip();
}

void TMainForm::showPanelTip(QLabel& panel, const QString& tip) {
    // The whole of a text too long for the panel; a tip would take markup.
    panel.setToolTip(Qt::convertFromPlainText(tip, Qt::WhiteSpaceNoWrap));
}

void TMainForm::showPortProblem() {
    QLabel& panel = *statusPanels_.at(static_cast<size_t>(StatusPanel::Port));
    QString tip = panel.text();
    // A port list's scan leaves the problem of another port behind.
    if (SerialLink && portNumber() != 0 && SerialLink->portNumber() == portNumber() &&
        SerialLink->problem().kind != PortProblem::Kind::None)
        tip += QLatin1Char('\n') + portNotOpenedTip(SerialLink->problem());
    showPanelTip(panel, tip);
}

void TMainForm::modeChanged() {
    updateActions();
    if (modes_.idle())
        showPortProblem();
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
    for (QAction* server : {ui->PersonalnummernServer1, ui->Personalnummernuebertragen1})
        server->setEnabled(!listReading && !singleRead && !redirect);
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
    redirect_->UpdateRedirectStatus();
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
    sqlite_ = binding.library;
    SqliteBound = binding.library != nullptr;
    if (!SqliteBound)
        return;
    PersonnelDb = std::make_unique<PersonnelDatabase>(binding.library);
    if (const DatabaseResult opened = PersonnelDb->OpenPersonnelDatabase(files_.databaseDirectory);
        !opened.ok())
        showDatabaseMessage(opened.failure);
    SqliteBound = PersonnelDb->isOpen();
    PersonnelDatabase* database = SqliteBound ? PersonnelDb.get() : nullptr;
    personnelServer_->start(sqlite_, database);
    redirect_->setDatabase(database);
    output_->setDatabase(database);
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (tray_->cameBack())
        return;
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
        bindPersonnelDatabase();
        updateActions();
        ui->CheckBoxSndPSNR->setEnabled(SqliteBound);
        const bool personnelMode = personnelMode_->personnelMode();
        ui->ListViewKarten->setVisible(!personnelMode);
        ui->PanelPersonalNummern->setVisible(personnelMode);
        cardList_->restart();
        personnelMode_->FillPersonnelGrid();
        setStatusPanel(StatusPanel::Port, portStatusText(0));

        SerialLink.reset(new (std::nothrow)
                             T_Serial_Interface(false, PortMap(files_.settingsFile), serialCalls_));
        if (!SerialLink)
            throw kErrorNoSerialObject;
        engine_ = std::make_unique<ReaderProtocol>(*SerialLink, *decoding_,
                                                   [] { QCoreApplication::processEvents(); });
        modes_.attach(*SerialLink, *engine_);
        settings_->setUp(files_.settingsFile, *SerialLink);

        settings_->LoadSettings();
        output_->LoadOutputSettings(files_.settingsFile);
        delivery_->start(sqlite_);
        if (settings_->portNumber() != 0)
            settings_->showPortInStatusBar();
        if (settings_->autoStart()) {
            ui->PageControlMain->setCurrentWidget(ui->TabSheet2);
            ApplyPageSize();
        }
        if (!redirect_->setUp(*SerialLink))
            throw kErrorNoReadThread;
        if (settings_->autoStart())
            redirect_->startWithProgram();
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
    QString StatusText;
    switch (error) {
    case kErrorNoSerialObject:
        StatusText = QStringLiteral("kein Speicher für serielle Klasse");
        break;
    case kErrorOpenPort:
        StatusText = portOpenFailureText(portNumber());
        break;
    case kErrorClosePort:
        StatusText = portCloseFailureText(portNumber());
        break;
    case kErrorNoReadThread:
        StatusText = QStringLiteral("kein Speicher für ReadThread");
        break;
    default:
        StatusText = QString::asprintf("unbekannter Fehler %d ", error);
        break;
    }
    if (error == kErrorNoSerialObject || error == kErrorOpenPort || error == kErrorNoReadThread)
        requestStop();
    dialogs_.error(StatusText);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // FormClose: a running synchronous read ends at its next pass.
    requestStop();
    QCoreApplication::processEvents();
    // That read runs below this handler and could still take a card: it ends
    // first, then the close comes again.
    if (modes_.synchronousReadRunning()) {
        closeWhenIdle_ = true;
        event->ignore();
        return;
    }
    const bool entries =
        personnelMode_->personnelMode() ? cardList_->entryCount() != 0 : cardList_->rowCount() != 0;
    // Yes to saving but nothing written: the window stays with its list.
    if (entries && !listSaving_->AskSaveAndClear()) {
        event->ignore();
        return;
    }
    redirect_->shutDown();
    delivery_->shutDown();
    personnelServer_->shutDown();
    if (SqliteBound)
        if (const DatabaseResult closed = PersonnelDb->ClosePersonnelDatabase(); !closed.ok())
            showDatabaseMessage(closed.failure);
    event->accept();
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Minimised with "Automatisch Minimieren" on: into the notification area.
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !tray_->hidesIntoTray())
        return;
    // Hidden instead of minimised: shown again it comes back as it was.
    // Leaving the minimised state sends a show event of its own, which must
    // come before the window counts as hidden in the notification area.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    tray_->hideIntoTray(true);
}

void TMainForm::SpeedButtonStartClick() {
    redirect_->SpeedButtonStartClick();
}

void TMainForm::SpeedButtonStoppClick() {
    redirect_->SpeedButtonStoppClick();
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

void TMainForm::Einstellungen1Click() {
    settings_->Einstellungen1Click();
}

void TMainForm::Ausgabe1Click() {
    output_->Ausgabe1Click();
}

void TMainForm::Versand1Click() {
    delivery_->Versand1Click();
}

void TMainForm::PersonalnummernServer1Click() {
    personnelServer_->PersonalnummernServer1Click();
}

void TMainForm::HardwareInfo1Click() {
    settings_->HardwareInfo1Click();
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
