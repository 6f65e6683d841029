#include "list/CardLeds.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>

namespace pelvaro {

namespace {

void paintLabel(QLabel& label, const QColor& colour) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, colour);
    label.setPalette(palette);
}

} // namespace

CardLeds::CardLeds(QLabel& greenLed, QLabel& redLed, QLabel& greenLabel, QLabel& redLabel)
    : greenLed_(greenLed), redLed_(redLed), greenLabel_(greenLabel), redLabel_(redLabel) {}

void CardLeds::showLed(Led led) {
    static const QString kImages[] = {
        QStringLiteral(":/images/led_red_on"), QStringLiteral(":/images/led_red_off"),
        QStringLiteral(":/images/led_green_on"), QStringLiteral(":/images/led_green_off")};
    const bool red = led == Led::RedLit || led == Led::RedDark;
    const bool lit = led == Led::RedLit || led == Led::GreenLit;
    (red ? redLed_ : greenLed_).setPixmap(QPixmap(kImages[static_cast<int>(led)]));
    const QColor litColour = red ? QColor(255, 0, 0) : QColor(0, 128, 0);
    paintLabel(red ? redLabel_ : greenLabel_,
               lit ? litColour : QApplication::palette().color(QPalette::Button));
}

void CardLeds::ResetLeds() {
    showLed(Led::RedDark);
    showLed(Led::GreenDark);
}

} // namespace pelvaro
