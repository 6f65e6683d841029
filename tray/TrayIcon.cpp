#include "tray/TrayIcon.h"

#include <QLabel>
#include <algorithm>

namespace pelvaro {

namespace {

constexpr int kTipLength = 127;

} // namespace

TrayIcon::TrayIcon(const QLabel& tipSource, QObject* parent)
    : QObject(parent), tipSource_(tipSource), icon_(this) {
    QAction* N11 = PopupMenuTray.addAction(QStringLiteral("Anzeigen"));
    PopupMenuTray.addSeparator();
    QAction* N21 = PopupMenuTray.addAction(QStringLiteral("Beenden"));
    connect(N11, &QAction::triggered, this, &TrayIcon::showRequested);
    connect(N21, &QAction::triggered, this, &TrayIcon::quitRequested);
    icon_.setContextMenu(&PopupMenuTray);
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    emit showRequested();
            });
}

QIcon TrayIcon::TrayIconHandle(TrayImage image) {
    static const char* const kImages[] = {":/images/led_yellow_on", ":/images/led_yellow_off",
                                          ":/images/led_red_on",    ":/images/led_red_off",
                                          ":/images/led_green_on",  ":/images/led_green_off"};
    return QIcon(QString::fromLatin1(kImages[static_cast<int>(image)]));
}

bool TrayIcon::NotifyTray(Operation operation, TrayImage image) {
    switch (operation) {
    case Add:
        // Qt shows no icon without an image; the modify that follows sets
        // the same image and the tip.
        icon_.setIcon(TrayIconHandle(image));
        icon_.setToolTip(QString());
        icon_.show();
        break;
    case Modify:
        icon_.setIcon(TrayIconHandle(image));
        icon_.setToolTip(tip());
        break;
    case Delete:
        icon_.hide();
        break;
    }
    return areaAvailable();
}

void TrayIcon::setFootnote(const QString& footnote) {
    footnote_ = footnote;
    if (icon_.isVisible())
        icon_.setToolTip(tip());
}

QString TrayIcon::tip() const {
    const QString text = notice_.isEmpty() ? tipSource_.text() : notice_;
    if (footnote_.isEmpty())
        return text.left(kTipLength);
    // The footnote stays whole: the text above it gives way.
    const QString above =
        text.trimmed().left(std::max<qsizetype>(0, kTipLength - footnote_.size() - 1));
    return above.isEmpty() ? footnote_.left(kTipLength) : above + QLatin1Char('\n') + footnote_;
}

void TrayIcon::showWarning(const QString& text) {
    if (icon_.isVisible())
        icon_.showMessage(QStringLiteral("Pelvaro"), text, QSystemTrayIcon::Warning);
}

} // namespace pelvaro
