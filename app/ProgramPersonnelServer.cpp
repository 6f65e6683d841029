#include "app/ProgramPersonnelServer.h"

#include "app/ProgramSettings.h"
#include "app/TPersonnelServerDlg.h"
#include "personnel/PersonnelMode.h"
#include "personnel/PersonnelStore.h"
#include "personnel/ServerPersonnelStore.h"
#include "personnel/server/PersonnelServer.h"
#include "personnel/server/PqLibrary.h"

#include <QAction>
#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QTableWidget>
#include <QTextDocument>

namespace pelvaro {

namespace {

constexpr int kCodeColumn = 1; // the grid's card codes

QString asOfText(const PersonnelSyncState& state) {
    if (!state.cacheAsOf)
        return QStringLiteral("noch keiner");
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(state.cacheAsOf->time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(since.count())
        .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

} // namespace

ProgramPersonnelServer::ProgramPersonnelServer(ModeHost& host, ProgramSettings& settings,
                                               Parts parts, FileLocations files)
    : host_(host), programSettings_(settings), parts_(parts), files_(std::move(files)) {
    parts_.state.hide();
    parts_.uploadItem.setVisible(false);
    parts_.grid.installEventFilter(this);
    connect(&parts_.uploadItem, &QAction::triggered, &parts_.mode,
            &PersonnelMode::Personalnummernuebertragen1Click);
}

ProgramPersonnelServer::~ProgramPersonnelServer() {
    stop();
}

void ProgramPersonnelServer::start(std::shared_ptr<const SqliteLibrary> sqlite,
                                   PersonnelDatabase* database) {
    sqlite_ = std::move(sqlite);
    database_ = database;
    settings_ = readPersonnelServerSettings(files_.settingsFile);
    run();
}

void ProgramPersonnelServer::bindLibrary() {
    if (pqBound_)
        return;
    pqBound_ = true;
    PqBinding binding = BindPqLibrary(files_.programDirectory);
    pq_ = std::move(binding.library);
    unavailable_ = QString::fromStdString(binding.unavailable);
}

void ProgramPersonnelServer::shutDown() {
    stop();
}

void ProgramPersonnelServer::stop() {
    parts_.mode.setStore(nullptr);
    store_.reset();
    server_.reset();
    sync_.reset();
    ++generation_; // what the stopped sync still queued is no longer true
}

void ProgramPersonnelServer::run() {
    stop();
    const bool server = settings_.enabled();
    if (server)
        bindLibrary();
    parts_.uploadItem.setVisible(server && pq_ && database_);
    parts_.state.setVisible(server);
    if (!database_) {
        parts_.state.setText(QStringLiteral("Ohne SQLite-Bibliothek keine Personalnummern."));
        return;
    }
    // Without libpq the PC's own table goes on as before, and the page says so.
    if (!server || !pq_) {
        store_ = std::make_unique<LocalPersonnelStore>(*database_);
        parts_.mode.setStore(store_.get());
        if (server)
            parts_.state.setText(QStringLiteral("Personalnummern-Server nicht nutzbar, es gilt "
                                                "die Tabelle dieses PCs: ") +
                                 unavailable_);
        refillGrid();
        return;
    }
    sync_ = std::make_unique<PersonnelSync>(
        pq_, sqlite_,
        PersonnelSync::Settings{settings_.server, stationFor(settings_),
                                files_.databaseDirectory / kPersonnelDatabaseFile});
    const unsigned generation = generation_;
    // Called on the sync's thread; the page is the window's.
    sync_->setListener([this, generation](const PersonnelSyncState& state) {
        QMetaObject::invokeMethod(
            this, [this, state, generation] { showState(state, generation); },
            Qt::QueuedConnection);
    });
    // The window's own connection for editing; the sync has another.
    server_ = std::make_unique<PersonnelServer>(pq_, settings_.server, stationFor(settings_));
    store_ = std::make_unique<ServerPersonnelStore>(
        *server_, *database_, [sync = sync_.get()] { return sync->state().connected; },
        [sync = sync_.get()] { sync->catchUp(); });
    parts_.mode.setStore(store_.get());
    state_ = PersonnelSyncState{};
    showState(state_, generation);
    sync_->start();
}

QString ProgramPersonnelServer::stateText() const {
    if (state_.connected)
        return QStringLiteral("Personalnummern-Server verbunden, Stand der Kopie: %1")
            .arg(asOfText(state_));
    if (state_.problem.empty())
        return QStringLiteral("Verbinde mit dem Personalnummern-Server …");
    return QStringLiteral("Server nicht erreichbar, nur Lesen (Stand der Kopie: %1): %2")
        .arg(asOfText(state_), QString::fromStdString(state_.problem));
}

void ProgramPersonnelServer::showState(const PersonnelSyncState& state, unsigned generation) {
    if (generation != generation_ || !sync_)
        return;
    state_ = state;
    const QString text = stateText();
    parts_.state.setText(text);
    parts_.state.setToolTip(Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal));
    // The cache may have changed: the grid shows it now if it is in sight,
    // else when it comes into sight (reading it may ask the server).
    if (parts_.grid.isVisible())
        refillGrid();
    else
        gridStale_ = true;
}

bool ProgramPersonnelServer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &parts_.grid && event->type() == QEvent::Show && gridStale_)
        QMetaObject::invokeMethod(this, &ProgramPersonnelServer::refillGrid, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

void ProgramPersonnelServer::refillGrid() {
    gridStale_ = false;
    if (!parts_.mode.personnelMode())
        return;
    QTableWidget& grid = parts_.grid;
    const QTableWidgetItem* selected = grid.item(parts_.mode.currentGridRow() - 1, kCodeColumn);
    const QString card = selected ? selected->text() : QString();
    parts_.mode.FillPersonnelGrid();
    if (card.isEmpty())
        return;
    for (int row = 0; row < grid.rowCount(); ++row)
        if (const QTableWidgetItem* item = grid.item(row, kCodeColumn);
            item && item->text() == card) {
            grid.setCurrentCell(row, kCodeColumn);
            return;
        }
}

void ProgramPersonnelServer::PersonalnummernServer1Click() {
    if (!dialog_ || !host_.modes().idle())
        return;
    bindLibrary();
    dialog_->setLibrary(pq_, unavailable_);
    dialog_->fill(settings_);
    if (dialog_->exec() != QDialog::Accepted)
        return;
    const PersonnelServerSettings chosen = dialog_->settings();
    if (chosen == settings_)
        return;
    settings_ = chosen;
    run();
    if (programSettings_.savesSettings() &&
        !writePersonnelServerSettings(files_.settingsFile, settings_))
        programSettings_.reportUnsavedFile();
}

} // namespace pelvaro
