#pragma once

#include "ModeHost.h"

#include <QObject>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace pelvaro {

class CardList;

// The buttons, LEDs and labels of the first page that a read drives.
struct ListPageControls {
    QPushButton* readButton;    // ButtonReadKarten
    QPushButton* stopButton;    // ButtonStopp
    QPushButton* oneCardButton; // OneCardButton
    QPushButton* exportButton;  // ButtonExport
    QPushButton* clearButton;   // ButtonClear
    QLabel* greenLed;           // ImageLED_green
    QLabel* redLed;             // ImageLED_red
    QLabel* greenLabel;         // Labelgreen
    QLabel* redLabel;           // Labelred
    QWidget* pages;             // PageControlMain: the hourglass of a session
    QWidget* personnelPanel;    // PanelPersonalNummern: the hourglass of a single read
};

// Reading cards in list mode, synchronously on the GUI thread: the session
// that runs until "Stopp", with its duplicate rule and LEDs, and the single
// read that waits about five seconds for one card.
class ListReadSession : public QObject {
    Q_OBJECT

public:
    ListReadSession(ModeHost& host, CardList& cards, const ListPageControls& controls);

    void ButtonReadKartenClick();
    void ButtonStoppClick();
    void OneCardButtonClick();
    void ResetLeds();

    enum class Led { RedLit, RedDark, GreenLit, GreenDark };
    // Draws one LED and colours the label beside it.
    void showLed(Led led);

    // The last code a session accepted; a card equal to it is refused.
    QString LastAcceptedCode;

private:
    void showPassStatus(bool frameReceived);
    bool openPort();
    void reportCloseFailure();
    void handOn();
    void setListButtonsEnabled(bool enabled);

    ModeHost& host_;
    CardList& cards_;
    ListPageControls controls_;
};

} // namespace pelvaro
