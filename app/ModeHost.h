#pragma once

#include "ReaderProtocol.h"
#include "T_Serial_Interface.h"
#include "UserDialogs.h"

#include <QString>

namespace pelvaro {

// What a mode needs of the main window beyond its own page's controls: the
// port and engine of the synchronous reads, the state the modes share, the
// status bar, the main menus and the message boxes.
class ModeHost {
public:
    virtual ~ModeHost() = default;

    virtual T_Serial_Interface& serialLink() = 0;
    virtual ReaderProtocol& engine() = 0;
    virtual int portNumber() const = 0;
    // The code of the last transponder message the engine decoded.
    virtual const QString& currentCode() const = 0;
    virtual bool& stopRequested() = 0;
    virtual UserDialogs& dialogs() = 0;
    virtual void setStatusPanel(int panel, const QString& text) = 0;
    // The menus "&Optionen", "&Info" and "&Datei".
    virtual void setMainMenusEnabled(bool enabled) = 0;
    // The personnel-number mode: its menu item, and its handling of a card.
    virtual bool personnelMode() const = 0;
    // Enabled means: as after start-up, that is only with the database.
    virtual void setPersonnelMenuItemEnabled(bool enabled) = 0;
    virtual void HandlePersonnelCard() = 0;
    // Reloads the personnel grid from the table.
    virtual void FillPersonnelGrid() = 0;
};

} // namespace pelvaro
