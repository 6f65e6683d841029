#pragma once

#include "modes/ModeHost.h"
#include "modes/PersonnelPage.h"

#include <QObject>
#include <QString>
#include <functional>

namespace pelvaro {

class CardLeds;
class CardList;

// Reading cards in list mode, synchronously on the GUI thread: the session
// that runs until "Stopp", with its duplicate rule and LEDs, and the single
// read that waits about five seconds for one card. In personnel-number mode
// the cards go to the personnel table instead of the list.
class ListReadSession : public QObject {
    Q_OBJECT

public:
    ListReadSession(ModeHost& host, CardList& cards, CardLeds& leds, PersonnelPage& personnel,
                    QObject* parent);

    // Told of each card that became a list entry, with its label; not of the
    // cards of personnel-number mode.
    using EntryAccepted = std::function<void(const QString& code, const QString& label)>;
    void setEntryAccepted(EntryAccepted accepted) { entryAccepted_ = std::move(accepted); }

    void ButtonReadKartenClick();
    void ButtonStoppClick();
    void OneCardButtonClick();

    // The last code a session accepted; a card equal to it is refused.
    const QString& lastAcceptedCode() const { return LastAcceptedCode; }
    // After the list is cleared any card is new again.
    void forgetLastAccepted() { LastAcceptedCode = QStringLiteral(" "); }

private:
    // The single read up to the end of its mode; false if it did not open.
    bool readOneCard();
    void showPassStatus(bool frameReceived);
    void handOn();

    QString LastAcceptedCode;
    ModeHost& host_;
    CardList& cards_;
    CardLeds& leds_;
    PersonnelPage& personnel_;
    EntryAccepted entryAccepted_;
};

} // namespace pelvaro
