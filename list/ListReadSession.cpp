#include "list/ListReadSession.h"

#include "list/CardLeds.h"
#include "list/CardList.h"
#include "modes/ModeMessages.h"
#include "modes/SynchronousRead.h"

#include <QCoreApplication>

namespace pelvaro {

namespace {

// The single read gives up once its passes without a frame add up to this.
constexpr int kSingleReadBudgetMs = 5000;
constexpr int kPassCostMs = 60;

using Led = CardLeds::Led;

// The step's pass decoded a frame, whatever it carried.
bool frameReceived(StepOutcome step) {
    return step == StepOutcome::CodeRead || step == StepOutcome::StatusClear ||
           step == StepOutcome::OtherFrame;
}

} // namespace

ListReadSession::ListReadSession(ModeHost& host, CardList& cards, CardLeds& leds,
                                 PersonnelPage& personnel, QObject* parent)
    : QObject(parent), host_(host), cards_(cards), leds_(leds), personnel_(personnel) {}

void ListReadSession::showPassStatus(bool frameReceived) {
    host_.setStatusPanel(StatusPanel::Activity,
                         frameReceived ? kCardReadWaiting : QStringLiteral(" ") + kWaitingForCard);
}

void ListReadSession::handOn() {
    if (personnel_.personnelMode()) {
        personnel_.HandlePersonnelCard();
        return;
    }
    const QString code = host_.currentCode();
    const QString label = cards_.AddListEntry(code);
    if (entryAccepted_)
        entryAccepted_(code, label);
}

void ListReadSession::ButtonReadKartenClick() {
    SynchronousRead read(host_, Mode::ListReading);
    if (read.opened()) {
        host_.setStatusPanel(StatusPanel::Activity, kWaitingForCard);
        leds_.ResetLeds();
        // Each pass lets the window handle Stopp, the pop-up menu and closing.
        while (read.goingOn()) {
            const StepOutcome step = read.nextStep(kPauseBeforePass);
            if (step == StepOutcome::StatusClear)
                leds_.ResetLeds();
            if (step == StepOutcome::CodeRead) {
                if (host_.currentCode() == LastAcceptedCode) {
                    host_.setStatusPanel(StatusPanel::Activity,
                                         QStringLiteral("gleiche  Karte, Warte auf Karte..."));
                    leds_.showLed(Led::RedLit);
                    continue;
                }
                LastAcceptedCode = host_.currentCode();
                leds_.showLed(Led::GreenLit);
                handOn();
            }
            if (read.readerMissing())
                host_.setStatusPanel(StatusPanel::Activity, QString::fromUtf8(kReaderLostText));
            else
                showPassStatus(frameReceived(step));
        }
        read.closePort();
        QCoreApplication::processEvents();
    }
    leds_.ResetLeds();
}

void ListReadSession::ButtonStoppClick() {
    host_.requestStop();
    QCoreApplication::processEvents();
}

void ListReadSession::OneCardButtonClick() {
    if (readOneCard())
        QCoreApplication::processEvents(); // once the controls are back
}

bool ListReadSession::readOneCard() {
    SynchronousRead read(host_, Mode::SingleRead);
    if (!read.opened())
        return false;
    host_.setStatusPanel(StatusPanel::Activity, kWaitingForCard);
    leds_.ResetLeds();

    int budgetMs = kSingleReadBudgetMs;
    bool cardRead = false;
    // Closing the window ends the read too, before its save question.
    while (budgetMs > 0 && read.goingOn()) {
        const StepOutcome step = read.nextStep(std::chrono::milliseconds(0));
        if (!frameReceived(step))
            budgetMs -= kPassCostMs;
        if (step == StepOutcome::CodeRead) {
            budgetMs = 0;
            cardRead = true;
            leds_.ResetLeds();
            handOn();
        }
        showPassStatus(frameReceived(step));
    }
    host_.setStatusPanel(StatusPanel::Activity, cardRead ? QStringLiteral("Karte gelesen")
                                                         : QStringLiteral("Zeit abgelaufen."));
    read.closePort();
    leds_.ResetLeds();
    return true;
}

} // namespace pelvaro
