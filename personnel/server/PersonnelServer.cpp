#include "personnel/server/PersonnelServer.h"

#include "personnel/server/PqConnection.h"
#include "personnel/server/PqFunctions.h"
#include "personnel/server/PqLibrary.h"

namespace pelvaro {

namespace {

using Outcome = ServerResult::Outcome;

constexpr char kInsufficientPrivilege[] = "42501";
constexpr char kRowColumns[] = "SELECT cardcode, persnum, changed_at, changed_by "
                               "FROM pelvaro_personnel";
constexpr char kInsertRow[] = "INSERT INTO pelvaro_personnel (cardcode, persnum, changed_by) "
                              "VALUES ($1, $2, $3) ON CONFLICT (cardcode) DO NOTHING "
                              "RETURNING cardcode";
constexpr char kChangedElsewhere[] =
    "Der Eintrag wurde inzwischen an einem anderen Platz geändert; hier wurde nichts "
    "überschrieben.";

ServerPersonnelRow rowAt(const PqResult& result, int row) {
    return {result.text(row, 0), result.text(row, 1), result.text(row, 2), result.text(row, 3)};
}

ServerResult changed(std::string message) {
    return {Outcome::Changed, std::move(message)};
}

} // namespace

// The live connection, and who it logged in as, for the messages.
struct PersonnelServer::Connection {
    std::unique_ptr<PqConnection> link;
    std::string user;
    // Announcements come only while this connection lives; a new one would
    // miss those made meanwhile, so its caller must know.
    bool listening = false;

    // Why a statement failed: the connection, a missing right named, or else
    // the server's words.
    ServerResult failure(const PqResult& result, const char* right) const {
        if (link->broken())
            return {Outcome::Unreachable,
                    "Die Verbindung zum Server ist unterbrochen.\n" + link->errorText()};
        const std::string detail = std::string("\n").append(serverWords(result));
        if (result.sqlState() == kInsufficientPrivilege)
            return {Outcome::Refused, "Dem Benutzer " + user + " fehlt das Recht " + right +
                                          " auf die Tabelle pelvaro_personnel." + detail};
        return {Outcome::Failed, "Der Server hat den Befehl abgelehnt." + detail};
    }

    std::string serverWords(const PqResult& result) const {
        const std::string line = result.errorLine();
        return line.empty() ? link->errorText() : line;
    }

    // Ends a transaction that did not finish; the server forgets its changes.
    ServerResult abandon(ServerResult result) {
        link->run("ROLLBACK");
        return result;
    }

    // The table and its triggers where they are missing, or which right
    // the user lacks to make them.
    ServerResult createTable(bool tableThere, const std::string& schema) {
        const PqResult made = link->runScript(serverSchemaSql());
        if (made.ok())
            return {};
        if (made.sqlState() != kInsufficientPrivilege)
            return abandon(failure(made, "CREATE"));
        const std::string missing =
            tableThere
                ? "Der Tabelle pelvaro_personnel fehlen ihre Trigger, und der Benutzer " + user +
                      " darf sie nicht anlegen: Das darf nur der Eigentümer der "
                      "Tabelle."
                : "Die Tabelle pelvaro_personnel fehlt auf dem Server, und der Benutzer " + user +
                      " darf sie nicht anlegen: Ihm fehlt das Recht CREATE auf "
                      "das Schema " +
                      (schema.empty() ? "public" : schema) + ".";
        return abandon({Outcome::Refused, missing +
                                              " Ein Administrator kann sie mit dem SQL "
                                              "anlegen, das „pelvaro --server-schema“ "
                                              "ausgibt.\n" +
                                              serverWords(made)});
    }

    // Runs a call's statements, connecting first. A connection that broke
    // while idle shows on the call's first statement; then it is made anew
    // once, as nothing was sent yet; never a listening one, whose caller
    // has to catch up on what it missed.
    template <typename Work> static ServerResult call(PersonnelServer& server, Work work) {
        for (bool retry = true;; retry = false) {
            const bool madeBefore = server.connection_ != nullptr;
            if (!madeBefore)
                if (ServerResult made = server.connect(); !made.ok())
                    return made;
            Connection& connection = *server.connection_;
            connection.link->resetStatementCount();
            ServerResult result = work(connection);
            if (!connection.link->broken())
                return result;
            const bool anew = retry && madeBefore && !connection.listening &&
                              connection.link->statementsRun() <= 1;
            server.disconnect();
            if (!anew)
                return result;
        }
    }
};

PersonnelServer::PersonnelServer(std::shared_ptr<const PqLibrary> pq, std::string uri,
                                 std::string station)
    : pq_(std::move(pq)), uri_(std::move(uri)), station_(std::move(station)) {}

PersonnelServer::~PersonnelServer() = default;

ServerResult PersonnelServer::connect() {
    disconnect();
    ServerResult result;
    Connection connection{PqConnection::open(pq_->functions(), uri_, result), {}};
    if (!connection.link)
        return result;
    // changed_at in one text form everywhere, exact to the microsecond, so
    // it names the row's state when it comes back.
    const PqResult session =
        connection.link->runScript("SET DateStyle = ISO; SET TimeZone = 'UTC'");
    if (!session.ok())
        return connection.failure(session, "");
    // Without its triggers a table made by hand would keep changed_at still
    // and announce nothing: edits would overwrite each other unnoticed.
    const PqResult probe = connection.link->run(
        "SELECT t IS NOT NULL, (SELECT count(*) FROM pg_trigger WHERE tgrelid = t AND tgname IN "
        "('pelvaro_personnel_stamp', 'pelvaro_personnel_announce', 'pelvaro_personnel_truncate'))"
        " = 3, current_user, coalesce(current_schema(), '') FROM to_regclass($1) AS t",
        {kServerTable});
    if (!probe.ok())
        return connection.failure(probe, "");
    connection.user = probe.text(0, 2);
    if (probe.text(0, 1) != "t")
        if (ServerResult made = connection.createTable(probe.text(0, 0) == "t", probe.text(0, 3));
            !made.ok())
            return made;
    connection_ = std::make_unique<Connection>(std::move(connection));
    return {};
}

bool PersonnelServer::connected() const {
    return connection_ != nullptr;
}

void PersonnelServer::disconnect() {
    connection_.reset();
}

ServerCheck PersonnelServer::check() {
    ServerCheck check;
    check.result = Connection::call(*this, [&check](Connection& connection) -> ServerResult {
        const PqResult counted = connection.link->run(
            "SELECT count(*), has_table_privilege($1, 'INSERT') AND "
            "has_table_privilege($1, 'UPDATE') AND has_table_privilege($1, 'DELETE') "
            "FROM pelvaro_personnel",
            {kServerTable});
        if (!counted.ok())
            return connection.failure(counted, "SELECT");
        check.rows = std::stol(counted.text(0, 0));
        check.mayEdit = counted.text(0, 1) == "t";
        return {};
    });
    return check;
}

std::optional<std::vector<ServerPersonnelRow>> PersonnelServer::readAll(ServerResult& result) {
    std::optional<std::vector<ServerPersonnelRow>> rows;
    result = Connection::call(*this, [&rows](Connection& connection) -> ServerResult {
        const PqResult read = connection.link->run(
            (std::string(kRowColumns) + " ORDER BY cardcode COLLATE \"C\"").c_str());
        if (!read.ok())
            return connection.failure(read, "SELECT");
        rows.emplace();
        rows->reserve(static_cast<size_t>(read.rows()));
        for (int row = 0; row < read.rows(); ++row)
            rows->push_back(rowAt(read, row));
        return {};
    });
    if (!result.ok())
        rows.reset();
    return rows;
}

std::optional<ServerPersonnelRow> PersonnelServer::find(std::string_view cardCode,
                                                        ServerResult& result) {
    std::optional<ServerPersonnelRow> found;
    result = Connection::call(*this, [&](Connection& connection) -> ServerResult {
        const PqResult read = connection.link->run(
            (std::string(kRowColumns) + " WHERE cardcode = $1").c_str(), {cardCode});
        if (!read.ok())
            return connection.failure(read, "SELECT");
        if (read.rows() > 0)
            found = rowAt(read, 0);
        return {};
    });
    if (!result.ok())
        found.reset();
    return found;
}

ServerResult PersonnelServer::insert(std::string_view cardCode, std::string_view personnelNumber) {
    return Connection::call(*this, [&](Connection& connection) -> ServerResult {
        const PqResult added =
            connection.link->run(kInsertRow, {cardCode, personnelNumber, station_});
        if (!added.ok())
            return connection.failure(added, "INSERT");
        if (added.rows() == 0)
            return changed("Die Kartennummer steht schon in der Tabelle auf dem Server.");
        return {};
    });
}

ServerResult PersonnelServer::update(std::string_view cardCode, std::string_view personnelNumber,
                                     std::string_view changedAt) {
    return Connection::call(*this, [&](Connection& connection) -> ServerResult {
        const PqResult updated = connection.link->run(
            "UPDATE pelvaro_personnel SET persnum = $2, changed_by = $4 "
            "WHERE cardcode = $1 AND changed_at = $3::timestamptz RETURNING cardcode",
            {cardCode, personnelNumber, changedAt, station_});
        if (!updated.ok())
            return connection.failure(updated, "UPDATE");
        return updated.rows() == 0 ? changed(kChangedElsewhere) : ServerResult{};
    });
}

ServerResult PersonnelServer::remove(std::string_view cardCode, std::string_view changedAt) {
    return Connection::call(*this, [&](Connection& connection) -> ServerResult {
        const PqResult removed = connection.link->run(
            "DELETE FROM pelvaro_personnel WHERE cardcode = $1 AND changed_at = $2::timestamptz "
            "RETURNING cardcode",
            {cardCode, changedAt});
        if (!removed.ok())
            return connection.failure(removed, "DELETE");
        return removed.rows() == 0 ? changed(kChangedElsewhere) : ServerResult{};
    });
}

ServerResult PersonnelServer::removeAll() {
    return Connection::call(*this, [](Connection& connection) -> ServerResult {
        const PqResult removed = connection.link->run("DELETE FROM pelvaro_personnel");
        return removed.ok() ? ServerResult{} : connection.failure(removed, "DELETE");
    });
}

UploadReport
PersonnelServer::upload(const std::vector<ServerPersonnelRow>& rows,
                        const std::function<UploadChoice(const UploadConflict&)>& ask) {
    UploadReport report;
    report.result = Connection::call(*this, [&](Connection& connection) -> ServerResult {
        report = {};
        PqConnection& link = *connection.link;
        if (const PqResult begun = link.run("BEGIN"); !begun.ok())
            return connection.failure(begun, "INSERT");
        std::optional<UploadChoice> forAll;
        for (const ServerPersonnelRow& row : rows) {
            const PqResult added =
                link.run(kInsertRow, {row.cardCode, row.personnelNumber, station_});
            if (!added.ok())
                return connection.abandon(connection.failure(added, "INSERT"));
            if (added.rows() == 1) {
                ++report.added;
                continue;
            }
            const PqResult held =
                link.run("SELECT persnum FROM pelvaro_personnel WHERE cardcode = $1 FOR UPDATE",
                         {row.cardCode});
            if (!held.ok())
                return connection.abandon(connection.failure(held, "SELECT"));
            if (held.rows() == 0)
                return connection.abandon(changed(
                    "Die Tabelle auf dem Server wurde während der Übertragung geändert; auf dem "
                    "Server hat sich nichts geändert. Bitte noch einmal übertragen."));
            const std::string serverNumber = held.text(0, 0);
            if (serverNumber == row.personnelNumber) {
                ++report.same;
                continue;
            }
            UploadChoice choice =
                forAll ? *forAll : ask({row.cardCode, row.personnelNumber, serverNumber});
            if (choice == UploadChoice::KeepServerForAll || choice == UploadChoice::TakeLocalForAll)
                forAll = choice = choice == UploadChoice::KeepServerForAll
                                      ? UploadChoice::KeepServer
                                      : UploadChoice::TakeLocal;
            if (choice == UploadChoice::Cancel) {
                report = {};
                return connection.abandon(
                    {Outcome::Failed, "Die Übertragung wurde abgebrochen; auf dem Server hat sich "
                                      "nichts geändert."});
            }
            if (choice == UploadChoice::KeepServer) {
                ++report.kept;
                continue;
            }
            const PqResult replaced = link.run(
                "UPDATE pelvaro_personnel SET persnum = $2, changed_by = $3 WHERE cardcode = $1",
                {row.cardCode, row.personnelNumber, station_});
            if (!replaced.ok())
                return connection.abandon(connection.failure(replaced, "UPDATE"));
            ++report.replaced;
        }
        if (const PqResult committed = link.run("COMMIT"); !committed.ok())
            return connection.failure(committed, "INSERT");
        return {};
    });
    return report;
}

int PersonnelServer::socket() const {
    return connection_ ? connection_->link->socket() : -1;
}

ServerResult PersonnelServer::listen() {
    return Connection::call(*this, [](Connection& connection) -> ServerResult {
        const PqResult listening = connection.link->run("LISTEN pelvaro_personnel");
        if (!listening.ok())
            return connection.failure(listening, "SELECT");
        connection.listening = true;
        return {};
    });
}

std::vector<std::string> PersonnelServer::takeAnnouncements(ServerResult& result) {
    // Never connects: a new connection would listen to nothing.
    if (!connection_) {
        result = {Outcome::Unreachable, "Keine Verbindung zum Server."};
        return {};
    }
    if (!connection_->link->readInput()) {
        result = {Outcome::Unreachable,
                  "Die Verbindung zum Server ist unterbrochen.\n" + connection_->link->errorText()};
        disconnect();
        return {};
    }
    result = {};
    return connection_->link->takeNotifications(kServerChannel);
}

} // namespace pelvaro
