#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class QLabel;

namespace pelvaro {

// The notification-area icon: an LED whose colour shows the state of redirect
// mode, with the redirect status text as its tip, a double click that brings
// the window back, and a menu with "Anzeigen" and "Beenden".
class TrayIcon : public QObject {
    Q_OBJECT

public:
    enum Operation { Add = 0, Modify = 1, Delete = 2 };
    // The LED images by index: yellow lit, yellow dark, red lit, red dark,
    // green lit, green dark.
    static constexpr int kImageCount = 6;

    // tipSource: the label whose text is the icon's tip.
    TrayIcon(const QLabel& tipSource, QObject* parent);

    // Adds, modifies (image and tip) or deletes the icon; whether the
    // notification area took it.
    bool NotifyTray(Operation operation, int iconIndex);
    // The image for an index; indexes outside 0..5 give image 0.
    static QIcon TrayIconHandle(int iconIndex);

    bool isShown() const { return icon_.isVisible(); }
    const QSystemTrayIcon& icon() const { return icon_; }

signals:
    void showRequested(); // a double click or "Anzeigen"
    void quitRequested(); // "Beenden"

private:
    const QLabel& tipSource_;
    QSystemTrayIcon icon_;
    QMenu PopupMenuTray;
};

} // namespace pelvaro
