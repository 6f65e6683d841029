#pragma once

#include "keyboard/KeystrokeInjector.h"
#include "modes/ModeHost.h"
#include "output/CardOutput.h"
#include "reader/ReadResult.h"
#include "reader/TThread_Read.h"
#include "redirect/CardEvents.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;

namespace pelvaro {

class DeliveryService;
class PersonnelDatabase;
class TrayWindow;

// The controls of the redirect page that redirect mode reads and writes.
struct RedirectPageControls {
    const QCheckBox* lineFeed;        // CheckBoxLF: ENTER after each code
    const QCheckBox* personnelNumber; // CheckBoxSndPSNR: the personnel number instead
    QLabel* status;                   // LabelUmleitungInfo
};

// Redirect mode: the read thread reads the reader continuously and each card
// read is typed into the application that has the keyboard focus, while the
// window may wait in the notification area.
class RedirectMode : public QObject, public ReaderEventSink {
    Q_OBJECT

public:
    RedirectMode(ModeHost& host, TrayWindow& tray, const RedirectPageControls& controls,
                 QObject* parent);
    ~RedirectMode() override;

    // Where the codes are typed. Without an injector redirect mode does not
    // start, and says why: unavailable.
    void setKeyboard(std::unique_ptr<KeystrokeInjector> injector, QString unavailable);
    // What each card becomes: its text, the repeat guard and the read log.
    // Without one (the stored template is faulty) redirect mode does not
    // start, and says why: unusable.
    void setOutput(std::optional<CardOutput> output, QString unusable = {});
    // The database of personnel numbers, or null while the personnel features are off.
    void setDatabase(PersonnelDatabase* database) { database_ = database; }
    // Where each card goes besides its typing, or null while delivery is off.
    void setDelivery(DeliveryService* delivery) { events_.setService(delivery); }

    // The read thread on the program's port, paused; false if it cannot be made.
    bool setUp(T_Serial_Interface& port);
    // "Umleitung bei Programmstart starten": the first run hides the window
    // into the notification area once it is shown, if it goes there.
    void startWithProgram();

    void SpeedButtonStartClick();
    void SpeedButtonStoppClick();
    void WMReaderEvent(ReaderEvent event) override;
    void UpdateRedirectStatus();
    // The program ends: the read thread stops for good, the read log's
    // waiting lines are tried a last time.
    void shutDown();

    // The block the read thread shares with the window; the settings keep
    // the card length and byte order in it.
    pelvaro::ReadResult& readResult() { return ReadResult; }

private:
    void SendCodeAsKeystrokes();
    // Trouble that does not stop the typing: said in the status bar, and in
    // a balloon while the window is hidden.
    void reportWhileTyping(const QString& trouble);
    // The read log's waiting lines, tried again without waiting for a card.
    void flushReadLog();
    // A start that fails: the stop, the window back, the reason in a box.
    void failRedirectStart(const QString& reason);
    void pauseReadThread();

    ModeHost& host_;
    TrayWindow& tray_;
    RedirectPageControls controls_;
    pelvaro::ReadResult ReadResult;
    std::unique_ptr<TReadSerialThread> ReadThread;
    std::unique_ptr<KeystrokeInjector> injector_;
    QString keyboardUnavailable_;
    std::optional<CardOutput> output_{CardOutput()};
    QString outputUnusable_;
    bool typingTroubleReported_ = false; // once per start
    PersonnelDatabase* database_ = nullptr;
    CardEvents events_;
    bool startingUp_ = false;
    QTimer logRetry_;
};

} // namespace pelvaro
