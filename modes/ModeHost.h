#pragma once

#include "modes/ModeController.h"
#include "modes/UserDialogs.h"

#include <QString>

namespace pelvaro {

// The panels of the main window's status bar.
enum class StatusPanel { Port = 0, Activity = 1, Spare = 2 };

// What a mode needs of the main window beyond its own page's controls: the
// mode controller that lends it the port and engine, the state the modes
// share, the status bar and the message boxes.
class ModeHost {
public:
    virtual ~ModeHost() = default;

    virtual ModeController& modes() = 0;
    virtual int portNumber() const = 0;
    // The code of the last transponder message the engine decoded.
    virtual const QString& currentCode() const = 0;
    virtual void setCurrentCode(const QString& code) = 0;
    // Stopp, closing the window or a failed start asks a read to end; the
    // next read starts without the request.
    virtual bool stopRequested() const = 0;
    virtual void requestStop() = 0;
    virtual void clearStopRequest() = 0;
    virtual UserDialogs& dialogs() = 0;
    virtual void setStatusPanel(StatusPanel panel, const QString& text) = 0;
};

} // namespace pelvaro
