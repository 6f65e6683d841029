#pragma once

class QLabel;

namespace pelvaro {

// The two LEDs of the list page with the labels beside them: green for a card
// taken, red for a card refused or already known.
class CardLeds {
public:
    enum class Led { RedLit, RedDark, GreenLit, GreenDark };

    CardLeds(QLabel& greenLed, QLabel& redLed, QLabel& greenLabel, QLabel& redLabel);

    // Draws one LED and colours the label beside it.
    void showLed(Led led);
    // Both dark.
    void ResetLeds();

private:
    QLabel& greenLed_;   // ImageLED_green
    QLabel& redLed_;     // ImageLED_red
    QLabel& greenLabel_; // Labelgreen
    QLabel& redLabel_;   // Labelred
};

} // namespace pelvaro
