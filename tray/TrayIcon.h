#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

class QLabel;

namespace pelvaro {

// The LED images of the notification area, numbered as in its image list.
enum class TrayImage : int {
    YellowLit = 0,  // redirect mode runs
    YellowDark = 1, // redirect mode is off
    RedLit = 2,
    RedDark = 3,
    GreenLit = 4, // a card was read
    GreenDark = 5,
};

// The notification-area icon: an LED whose colour shows the state of redirect
// mode, with the redirect status text as its tip, a double click that brings
// the window back, and a menu with "Anzeigen" and "Beenden".
class TrayIcon : public QObject {
    Q_OBJECT

public:
    enum Operation { Add = 0, Modify = 1, Delete = 2 };

    // tipSource: the label whose text is the icon's tip.
    TrayIcon(const QLabel& tipSource, QObject* parent);

    // Adds, modifies (image and tip) or deletes the icon; whether the
    // notification area took it.
    bool NotifyTray(Operation operation, TrayImage image);
    static QIcon TrayIconHandle(TrayImage image);
    // The desktop has a notification area now; it may come and go.
    bool areaAvailable() const { return areaProbe_(); }
    // How the notification area is looked for; a test of a desktop with or
    // without one on a platform that has none.
    void setAreaProbe(std::function<bool()> probe) { areaProbe_ = std::move(probe); }
    // A notice that stands in the tip in place of the status text from the
    // next modify on, until it is set empty again.
    void setNotice(const QString& notice) { notice_ = notice; }
    // A last line of the tip, whatever it says above it; shown at once.
    void setFootnote(const QString& footnote);

    // A balloon with the warning, where the icon is shown.
    void showWarning(const QString& text);

    bool isShown() const { return icon_.isVisible(); }
    const QSystemTrayIcon& icon() const { return icon_; }

signals:
    void showRequested(); // a double click or "Anzeigen"
    void quitRequested(); // "Beenden"

private:
    QString tip() const;

    const QLabel& tipSource_;
    QString notice_;
    QString footnote_;
    std::function<bool()> areaProbe_ = &QSystemTrayIcon::isSystemTrayAvailable;
    QSystemTrayIcon icon_;
    QMenu PopupMenuTray;
};

} // namespace pelvaro
