#pragma once

#include "modes/ModeController.h"
#include "modes/UserDialogs.h"

#include <QString>

namespace pelvaro {

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
    virtual bool& stopRequested() = 0;
    virtual UserDialogs& dialogs() = 0;
    virtual void setStatusPanel(int panel, const QString& text) = 0;
};

} // namespace pelvaro
