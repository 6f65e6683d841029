#pragma once

#include "fileio/FileLocations.h"
#include "modes/ModeHost.h"
#include "personnel/server/PersonnelSync.h"
#include "settings/PersonnelServerSettings.h"

#include <QObject>
#include <QString>
#include <memory>

class QAction;
class QLabel;
class QTableWidget;

namespace pelvaro {

class PersonnelDatabase;
class PersonnelMode;
class PersonnelServer;
class PersonnelStore;
class PqLibrary;
class ProgramSettings;
class SqliteLibrary;
class TPersonnelServerDlg;

// The shared personnel table as the window runs it: the [Personnel] settings,
// libpq bound once a server is set or the dialog opens, the cache kept by a PersonnelSync on the program's
// db_Personal.sqlite and the personnel mode editing the server's table, the
// state shown on the personnel page, and the dialog that changes the server
// without a restart. Without a server the mode edits the PC's own table as
// it always did and nothing of this shows.
class ProgramPersonnelServer : public QObject {
    Q_OBJECT

public:
    struct Parts {
        PersonnelMode& mode;
        QTableWidget& grid;  // the mode's
        QLabel& state;       // on the personnel grid's panel
        QAction& uploadItem; // "Personalnummern auf den Server übertragen"
    };
    ProgramPersonnelServer(ModeHost& host, ProgramSettings& settings, Parts parts,
                           FileLocations files);
    ~ProgramPersonnelServer() override;

    void attachDialog(TPersonnelServerDlg& dialog) { dialog_ = &dialog; }
    // Reads the section; database: the program's open
    // personnel database, or null without one (then the mode has no table).
    void start(std::shared_ptr<const SqliteLibrary> sqlite, PersonnelDatabase* database);
    // The program ends: the cache stays as it is.
    void shutDown();
    void PersonalnummernServer1Click();

    PersonnelSync* sync() const { return sync_.get(); }
    QString stateText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void run();
    void stop();
    // libpq stays loaded once bound, so it is bound only where a server is wanted.
    void bindLibrary();
    void showState(const PersonnelSyncState& state, unsigned generation);
    // The grid anew, with the card that was selected still selected.
    void refillGrid();

    ModeHost& host_;
    ProgramSettings& programSettings_;
    Parts parts_;
    const FileLocations files_;
    TPersonnelServerDlg* dialog_ = nullptr;
    bool pqBound_ = false;
    std::shared_ptr<const PqLibrary> pq_;
    QString unavailable_; // why libpq is not there
    std::shared_ptr<const SqliteLibrary> sqlite_;
    PersonnelDatabase* database_ = nullptr;
    PersonnelServerSettings settings_;
    std::unique_ptr<PersonnelSync> sync_;
    std::unique_ptr<PersonnelServer> server_;
    std::unique_ptr<PersonnelStore> store_; // edits through server_, asks sync_ for the state
    PersonnelSyncState state_;
    bool gridStale_ = false; // the cache changed while the grid was out of sight
    // Which sync a state came from: one queued by a sync since replaced is old.
    unsigned generation_ = 0;
};

} // namespace pelvaro
