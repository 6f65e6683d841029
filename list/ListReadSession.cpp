#include "ListReadSession.h"

#include "CardList.h"
#include "ReadPass.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

namespace pelvaro {

namespace {

constexpr int kActivityPanel = 1;
// The single read gives up once its passes without a frame add up to this.
constexpr int kSingleReadBudgetMs = 5000;
constexpr int kPassCostMs = 60;

const QString kWaiting = QStringLiteral("Warte auf Karte...");

void paintLabel(QLabel& label, const QColor& colour) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, colour);
    label.setPalette(palette);
}

} // namespace

ListReadSession::ListReadSession(ModeHost& host, CardList& cards, const ListPageControls& controls)
    : QObject(controls.pages), host_(host), cards_(cards), controls_(controls) {
    connect(controls_.readButton, &QPushButton::clicked, this,
            &ListReadSession::ButtonReadKartenClick);
    connect(controls_.stopButton, &QPushButton::clicked, this, &ListReadSession::ButtonStoppClick);
    connect(controls_.oneCardButton, &QPushButton::clicked, this,
            &ListReadSession::OneCardButtonClick);
}

void ListReadSession::showLed(Led led) {
    static const QString kImages[] = {
        QStringLiteral(":/images/led_red_on.svg"), QStringLiteral(":/images/led_red_off.svg"),
        QStringLiteral(":/images/led_green_on.svg"), QStringLiteral(":/images/led_green_off.svg")};
    const bool red = led == Led::RedLit || led == Led::RedDark;
    const bool lit = led == Led::RedLit || led == Led::GreenLit;
    (red ? controls_.redLed : controls_.greenLed)
        ->setPixmap(QPixmap(kImages[static_cast<int>(led)]));
    const QColor litColour = red ? QColor(255, 0, 0) : QColor(0, 128, 0);
    paintLabel(red ? *controls_.redLabel : *controls_.greenLabel,
               lit ? litColour : QApplication::palette().color(QPalette::Button));
}

void ListReadSession::ResetLeds() {
    showLed(Led::RedDark);
    showLed(Led::GreenDark);
}

void ListReadSession::showPassStatus(bool frameReceived) {
    host_.setStatusPanel(kActivityPanel, frameReceived
                                             ? QStringLiteral("Karte gelesen, Warte auf Karte...")
                                             : QStringLiteral(" ") + kWaiting);
}

bool ListReadSession::openPort() {
    host_.stopRequested() = false;
    if (host_.serialLink().open(host_.portNumber(), kReaderBaudRate) ==
        T_Serial_Interface::kOpened) {
        host_.serialLink().flush();
        beginReadSession(host_.engine());
        host_.setStatusPanel(kActivityPanel, kWaiting);
        return true;
    }
    host_.dialogs().error(
        QString::asprintf("Konnte Schnittstelle Com %d nicht öffnen", host_.portNumber()));
    host_.stopRequested() = true;
    return false;
}

void ListReadSession::reportCloseFailure() {
    host_.dialogs().error(
        QString::asprintf("konnte Schnittstelle Com %d nicht schliessen", host_.portNumber()));
}

void ListReadSession::handOn() {
    if (host_.personnelMode())
        host_.HandlePersonnelCard();
    else
        cards_.AddListEntry();
}

void ListReadSession::setListButtonsEnabled(bool enabled) {
    for (QPushButton* button : {controls_.oneCardButton, controls_.readButton,
                                controls_.exportButton, controls_.clearButton})
        button->setEnabled(enabled);
}

void ListReadSession::ButtonReadKartenClick() {
    if (openPort()) {
        controls_.pages->setCursor(Qt::WaitCursor);
        host_.setMainMenusEnabled(false);
        host_.setPersonnelMenuItemEnabled(false);
        controls_.stopButton->setEnabled(true);
        setListButtonsEnabled(false);
        ResetLeds();

        while (!host_.stopRequested()) {
            QCoreApplication::processEvents(); // Stopp, the pop-up menu, closing the window
            const ReadPassResult pass = runReadPass(host_.engine());
            if (pass.message == message::kStatusClear)
                ResetLeds();
            if (pass.message == message::kTransponderCode) {
                if (host_.currentCode() == LastAcceptedCode) {
                    host_.setStatusPanel(kActivityPanel,
                                         QStringLiteral("gleiche  Karte, Warte auf Karte..."));
                    showLed(Led::RedLit);
                    continue;
                }
                LastAcceptedCode = host_.currentCode();
                showLed(Led::GreenLit);
                handOn();
            }
            showPassStatus(pass.frameReceived);
        }
        if (!host_.serialLink().close())
            reportCloseFailure();
        QCoreApplication::processEvents();
    }
    host_.serialLink().close();
    controls_.pages->unsetCursor();
    setListButtonsEnabled(true);
    host_.setPersonnelMenuItemEnabled(true);
    controls_.stopButton->setEnabled(false);
    host_.setMainMenusEnabled(true);
    ResetLeds();
}

void ListReadSession::ButtonStoppClick() {
    host_.stopRequested() = true;
    QCoreApplication::processEvents();
}

void ListReadSession::OneCardButtonClick() {
    if (!openPort())
        return;
    controls_.personnelPanel->setCursor(Qt::WaitCursor);
    host_.setMainMenusEnabled(false);
    controls_.oneCardButton->setEnabled(false);
    controls_.readButton->setEnabled(false);
    ResetLeds();

    int budgetMs = kSingleReadBudgetMs;
    bool cardRead = false;
    while (budgetMs > 0) {
        QCoreApplication::processEvents();
        const ReadPassResult pass = runReadPass(host_.engine(), std::chrono::milliseconds(0));
        if (!pass.frameReceived)
            budgetMs -= kPassCostMs;
        if (pass.message == message::kTransponderCode) {
            budgetMs = 0;
            cardRead = true;
            ResetLeds();
            handOn();
        }
        showPassStatus(pass.frameReceived);
    }
    host_.setStatusPanel(kActivityPanel, cardRead ? QStringLiteral("Karte gelesen")
                                                  : QStringLiteral("Zeit abgelaufen."));
    if (!host_.serialLink().close())
        reportCloseFailure();

    controls_.personnelPanel->unsetCursor();
    controls_.oneCardButton->setEnabled(true);
    controls_.readButton->setEnabled(true);
    host_.setMainMenusEnabled(true);
    ResetLeds();
    QCoreApplication::processEvents();
}

} // namespace pelvaro
