#pragma once

#include "tray/TrayIcon.h"

class QCheckBox;
class QLabel;
class QWidget;

namespace pelvaro {

// The main window's place in the notification area. With "Automatisch
// Minimieren" on and an area to take the icon, the window goes there instead
// of being minimised, and when redirect mode starts; the icon's LED shows
// whether redirect mode runs.
class TrayWindow {
public:
    // autoMinimise: "Automatisch Minimieren"; tipSource: the redirect status.
    TrayWindow(QWidget& window, const QCheckBox& autoMinimise, const QLabel& tipSource);

    TrayIcon& icon() { return icon_; }
    bool hidesIntoTray() const;
    // The icon in the area and the window counted as hidden there; it hides
    // now unless its first showing is still to come.
    void hideIntoTray(bool hideNow);
    // A show event: true if it brought the window back from the area.
    bool cameBack();
    // Shows the window again if it went into the area.
    void showAgain();
    // The window that went into the area while it was first shown goes now.
    void hideWindow();
    bool hiddenToTray() const { return HiddenToTray; }

    // The LED the icon shows when nothing else is to be told.
    void setRedirectActive(bool active);
    TrayImage restingImage() const { return TrayIconIndex; }

private:
    QWidget& window_;
    const QCheckBox& autoMinimise_;
    TrayIcon icon_;
    bool HiddenToTray = false;
    TrayImage TrayIconIndex = TrayImage::YellowDark;
};

} // namespace pelvaro
