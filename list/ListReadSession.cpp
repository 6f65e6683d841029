#include "list/ListReadSession.h"

#include "list/CardLeds.h"
#include "list/CardList.h"
#include "modes/SynchronousRead.h"

#include <QCoreApplication>

namespace pelvaro {

namespace {

constexpr int kActivityPanel = 1;
// The single read gives up once its passes without a frame add up to this.
constexpr int kSingleReadBudgetMs = 5000;
constexpr int kPassCostMs = 60;

const QString kWaiting = QStringLiteral("Warte auf Karte...");

using Led = CardLeds::Led;

} // namespace

ListReadSession::ListReadSession(ModeHost& host, CardList& cards, CardLeds& leds,
                                 PersonnelPage& personnel, QObject* parent)
    : QObject(parent), host_(host), cards_(cards), leds_(leds), personnel_(personnel) {}

void ListReadSession::showPassStatus(bool frameReceived) {
    host_.setStatusPanel(kActivityPanel, frameReceived
                                             ? QStringLiteral("Karte gelesen, Warte auf Karte...")
                                             : QStringLiteral(" ") + kWaiting);
}

void ListReadSession::handOn() {
    if (personnel_.personnelMode())
        personnel_.HandlePersonnelCard();
    else
        cards_.AddListEntry();
}

void ListReadSession::ButtonReadKartenClick() {
    SynchronousRead read(host_, Mode::ListReading);
    if (read.opened()) {
        host_.setStatusPanel(kActivityPanel, kWaiting);
        leds_.ResetLeds();
        // Each pass lets the window handle Stopp, the pop-up menu and closing.
        while (read.goingOn()) {
            const ReadPassResult pass = read.nextPass(kPauseBeforePass);
            if (pass.message == message::kStatusClear)
                leds_.ResetLeds();
            if (pass.message == message::kTransponderCode) {
                if (host_.currentCode() == LastAcceptedCode) {
                    host_.setStatusPanel(kActivityPanel,
                                         QStringLiteral("gleiche  Karte, Warte auf Karte..."));
                    leds_.showLed(Led::RedLit);
                    continue;
                }
                LastAcceptedCode = host_.currentCode();
                leds_.showLed(Led::GreenLit);
                handOn();
            }
            if (read.readerMissing())
                host_.setStatusPanel(kActivityPanel, QString::fromUtf8(kReaderLostText));
            else
                showPassStatus(pass.frameReceived);
        }
        read.closePort();
        QCoreApplication::processEvents();
    }
    leds_.ResetLeds();
}

void ListReadSession::ButtonStoppClick() {
    host_.stopRequested() = true;
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
    host_.setStatusPanel(kActivityPanel, kWaiting);
    leds_.ResetLeds();

    int budgetMs = kSingleReadBudgetMs;
    bool cardRead = false;
    // Closing the window ends the read too, before its save question.
    while (budgetMs > 0 && read.goingOn()) {
        const ReadPassResult pass = read.nextPass(std::chrono::milliseconds(0));
        if (!pass.frameReceived)
            budgetMs -= kPassCostMs;
        if (pass.message == message::kTransponderCode) {
            budgetMs = 0;
            cardRead = true;
            leds_.ResetLeds();
            handOn();
        }
        showPassStatus(pass.frameReceived);
    }
    host_.setStatusPanel(kActivityPanel, cardRead ? QStringLiteral("Karte gelesen")
                                                  : QStringLiteral("Zeit abgelaufen."));
    read.closePort();
    leds_.ResetLeds();
    return true;
}

} // namespace pelvaro
