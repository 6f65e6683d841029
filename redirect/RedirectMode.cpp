#include "redirect/RedirectMode.h"

#include "keyboard/KeyboardBackend.h"
#include "keyboard/TextTyping.h"
#include "modes/ModeMessages.h"
#include "output/CardText.h"
#include "redirect/TypedDelivery.h"
#include "text/LocalClock.h"
#include "tray/TrayWindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <new>

namespace pelvaro {

RedirectMode::RedirectMode(ModeHost& host, TrayWindow& tray, const RedirectPageControls& controls,
                           QObject* parent)
    : QObject(parent), host_(host), tray_(tray), controls_(controls),
      events_([this](const std::string& trouble) {
          reportWhileTyping(QString::fromStdString(trouble));
      }) {
    controls_.status->setText(QStringLiteral("Umleitung aus!"));
    // A spreadsheet holding the read log may let go long before the next card.
    logRetry_.setInterval(std::chrono::seconds(30));
    connect(&logRetry_, &QTimer::timeout, this, &RedirectMode::flushReadLog);
}

RedirectMode::~RedirectMode() = default;

void RedirectMode::setKeyboard(std::unique_ptr<KeystrokeInjector> injector, QString unavailable) {
    injector_ = std::move(injector);
    keyboardUnavailable_ = std::move(unavailable);
}

void RedirectMode::setOutput(std::optional<CardOutput> output, QString unusable) {
    output_ = std::move(output);
    outputUnusable_ = std::move(unusable);
}

bool RedirectMode::setUp(T_Serial_Interface& port) {
    ReadThread.reset(new (std::nothrow) TReadSerialThread(this));
    if (!ReadThread)
        return false;
    ReadThread->setup(port, ReadResult, *this);
    return true;
}

void RedirectMode::startWithProgram() {
    // The window is being shown for the first time: the read thread's first
    // run hides it, once it is there.
    ReadResult.hideOnStart = tray_.hidesIntoTray();
    startingUp_ = true;
    SpeedButtonStartClick();
    startingUp_ = false;
}

void RedirectMode::pauseReadThread() {
    ReadThread->suspend();
    while (!ReadThread->isPaused())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void RedirectMode::SpeedButtonStartClick() {
    ModeController& modes = host_.modes();
    // A read that holds the port keeps it: the start is refused and changes
    // nothing of that read.
    if (!modes.idle()) {
        host_.dialogs().error(portOpenFailureText(host_.portNumber()));
        return;
    }
    // Cards taken from the reader with no way to type them would be lost.
    if (!injector_) {
        failRedirectStart(keyboardUnavailable_);
        return;
    }
    // Typing something other than what the receiving system expects is worse
    // than typing nothing.
    if (!output_) {
        failRedirectStart(outputUnusable_);
        return;
    }
    // The desktop's consent to typing comes before the reader's port is taken.
    if (const auto refusal = injector_->begin()) {
        failRedirectStart(QString::fromStdString(keystrokesImpossibleText(*refusal)));
        return;
    }
    if (!ReadThread || !modes.begin(Mode::Redirect) ||
        modes.port().open(host_.portNumber(), kReaderBaudRate) != OpenResult::Opened) {
        failRedirectStart(portOpenFailureText(host_.portNumber()));
        return;
    }
    host_.setStatusPanel(StatusPanel::Activity, kWaitingForCard);
    host_.setStatusPanel(StatusPanel::Spare, QString());
    typingTroubleReported_ = false;
    events_.restart();
    if (tray_.hidesIntoTray())
        tray_.hideIntoTray(!startingUp_);
    modes.port().flush();
    ReadThread->resume();
    logRetry_.start();
}

void RedirectMode::failRedirectStart(const QString& reason) {
    SpeedButtonStoppClick();
    ReadResult.hideOnStart = false; // a later start must not hide the window
    tray_.showAgain();
    host_.dialogs().error(reason);
}

void RedirectMode::SpeedButtonStoppClick() {
    ModeController& modes = host_.modes();
    // Only redirect mode's own stop, or a failed start's.
    if (!modes.idle() && modes.mode() != Mode::Redirect)
        return;
    host_.requestStop();
    QCoreApplication::processEvents();
    if (ReadThread)
        pauseReadThread();
    modes.end(Mode::Redirect);
    tray_.icon().setNotice(QString());
    if (injector_)
        injector_->release();
    logRetry_.stop();
    flushReadLog(); // a last try
}

void RedirectMode::shutDown() {
    if (ReadThread) {
        pauseReadThread();
        ReadThread->requestTermination();
    }
    flushReadLog(); // a last try
}

void RedirectMode::WMReaderEvent(ReaderEvent event) {
    TrayIcon& icon = tray_.icon();
    switch (event) {
    case READER_EVENT_CODE:
        host_.setStatusPanel(StatusPanel::Activity, kCardReadWaiting);
        host_.setCurrentCode(QString::fromLatin1(ReadResult.code.data()));
        icon.NotifyTray(TrayIcon::Modify, TrayImage::GreenLit);
        SendCodeAsKeystrokes();
        break;
    case READER_EVENT_CLEAR:
        icon.NotifyTray(TrayIcon::Modify, TrayImage::YellowLit);
        break;
    case READER_EVENT_WAITING:
        host_.setStatusPanel(StatusPanel::Activity, kWaitingForCard);
        break;
    case READER_EVENT_HIDE:
        tray_.hideWindow();
        break;
    case READER_EVENT_LOST:
        host_.setStatusPanel(StatusPanel::Activity, QString::fromUtf8(kReaderLostText));
        icon.setNotice(QString::fromUtf8(kReaderLostText));
        icon.NotifyTray(TrayIcon::Modify, TrayImage::RedLit);
        break;
    case READER_EVENT_BACK:
        host_.setStatusPanel(StatusPanel::Activity, kWaitingForCard);
        icon.setNotice(QString());
        icon.NotifyTray(TrayIcon::Modify, tray_.restingImage());
        break;
    }
}

void RedirectMode::SendCodeAsKeystrokes() {
    if (!injector_ || !output_)
        return;
    const std::string code = host_.currentCode().toStdString();
    const bool substitute = controls_.personnelNumber->isChecked() && database_;
    const bool enter = controls_.lineFeed->isChecked();
    // The text, the log and the read event ask the database once between them.
    const PersonnelNumberSource lookup = askingOnce(personnelNumbersIn(database_));
    auto event = events_.begin("redirect", host_.portNumber(), code,
                               events_.on() ? StoredPersonnelNumber(code, lookup) : std::string());
    const CardOutput::Result result =
        output_->take({code, substitute, lookup, localTimeNow()}, RepeatGuard::Clock::now(),
                      [&](const std::string& text) {
                          // Stored before it is typed: the read's only copy.
                          if (event)
                              events_.store(*event, text);
                          Delivery typing = deliveryOf(sendKeystrokes(*injector_, text, enter));
                          if (event)
                              event->event.typed = typing.whole;
                          return typing;
                      });
    if (event) {
        // A repeat held back is a read too: it goes out untyped.
        if (!result.text) {
            event->event.typed = false;
            events_.store(*event, std::nullopt);
        }
        events_.offer(*event);
    }
    if (result.logFailure)
        reportWhileTyping(QStringLiteral("Protokollfehler: ") +
                          QString::fromStdString(*result.logFailure));
    if (result.delivery && !result.delivery->whole && !typingTroubleReported_) {
        typingTroubleReported_ = true;
        reportWhileTyping(QString::fromStdString(deliveryTroubleText(*result.delivery)));
    }
}

void RedirectMode::flushReadLog() {
    if (!output_)
        return;
    if (const auto failure = output_->flushLog())
        reportWhileTyping(QStringLiteral("Protokollfehler: ") + QString::fromStdString(*failure));
}

void RedirectMode::reportWhileTyping(const QString& trouble) {
    // No message box: it would take the focus, and the next card would be
    // typed into it.
    host_.setStatusPanel(StatusPanel::Spare, trouble);
    tray_.icon().showWarning(trouble);
}

void RedirectMode::UpdateRedirectStatus() {
    const bool active = host_.modes().mode() == Mode::Redirect;
    QString text = active ? QStringLiteral("Umleitung aktiv!") : QStringLiteral("Umleitung aus!");
    if (controls_.lineFeed->isChecked())
        text += QStringLiteral("\nKartennummer+<ENTER>\n");
    controls_.status->setText(text);
    tray_.setRedirectActive(active);
}

} // namespace pelvaro
