#include "tray/TrayWindow.h"

#include <QCheckBox>
#include <QWidget>

namespace pelvaro {

TrayWindow::TrayWindow(QWidget& window, const QCheckBox& autoMinimise, const QLabel& tipSource)
    : window_(window), autoMinimise_(autoMinimise), icon_(tipSource, nullptr) {}

bool TrayWindow::hidesIntoTray() const {
    // Without a notification area nothing would bring a hidden window back.
    return autoMinimise_.isChecked() && icon_.areaAvailable();
}

void TrayWindow::hideIntoTray(bool hideNow) {
    icon_.NotifyTray(TrayIcon::Add, TrayIconIndex);
    icon_.NotifyTray(TrayIcon::Modify, TrayIconIndex);
    HiddenToTray = true;
    if (hideNow)
        window_.hide();
}

bool TrayWindow::cameBack() {
    if (!HiddenToTray)
        return false;
    HiddenToTray = false;
    if (autoMinimise_.isChecked())
        icon_.NotifyTray(TrayIcon::Delete, TrayIconIndex);
    return true;
}

void TrayWindow::showAgain() {
    if (HiddenToTray)
        window_.show();
}

void TrayWindow::hideWindow() {
    window_.hide();
}

void TrayWindow::setRedirectActive(bool active) {
    TrayIconIndex = active ? TrayImage::YellowLit : TrayImage::YellowDark;
}

} // namespace pelvaro
