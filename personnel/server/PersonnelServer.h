#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

class PqLibrary;

// The shared table's fixed names: other systems (an HR export, a script) may
// write the same table, so they never change.
inline constexpr char kServerTable[] = "pelvaro_personnel";
inline constexpr char kServerChannel[] = "pelvaro_personnel";

// The SQL an administrator runs to create the table, its trigger (which sets
// changed_at and announces every insert, update and delete with NOTIFY on
// kServerChannel, the card code as payload) and nothing else; what
// `pelvaro --server-schema` prints and the program runs where it may.
std::string serverSchemaSql();

// One row of the server's table.
struct ServerPersonnelRow {
    std::string cardCode;
    std::string personnelNumber;
    // The time of the row's last change as the server writes it; an edit
    // names it to be sure nobody changed the row since it was shown.
    std::string changedAt;
    std::string changedBy;

    bool operator==(const ServerPersonnelRow&) const = default;
};

// How a call to the server ended.
struct ServerResult {
    enum class Outcome {
        Done,
        Changed,     // the row was changed, added or deleted elsewhere since it was read
        Refused,     // a right is missing (message names it)
        Unreachable, // no connection, or it broke: nothing was changed
        Failed,      // the server refused the statement for another reason
    };
    Outcome outcome = Outcome::Done;
    // For the user, German, empty when Done: what went wrong and what to do.
    std::string message;

    bool ok() const { return outcome == Outcome::Done; }
};

// What "Verbindung prüfen" tells.
struct ServerCheck {
    ServerResult result;
    long rows = 0;        // rows in the table
    bool mayEdit = false; // INSERT, UPDATE and DELETE granted
};

// A conflict met while moving a PC's own table to the server: the server holds
// the card with another number.
struct UploadConflict {
    std::string cardCode;
    std::string localNumber;
    std::string serverNumber;
};
enum class UploadChoice { KeepServer, TakeLocal, KeepServerForAll, TakeLocalForAll, Cancel };
struct UploadReport {
    ServerResult result;
    long added = 0;     // cards the server did not hold
    long replaced = 0;  // conflicts decided for the local number
    long kept = 0;      // conflicts decided for the server's number
    long same = 0;      // cards the server already held with the same number
};

// One connection to the shared table on a PostgreSQL server, by a libpq
// connection URI. Passwords come only the libpq way (the password file or
// PGPASSFILE). Every call connects when not connected and reports a broken
// connection as Unreachable; a change is one transaction on the server. Not
// thread-safe: one thread uses it.
class PersonnelServer {
public:
    // station: what changed_by records for the changes made here.
    PersonnelServer(std::shared_ptr<const PqLibrary> pq, std::string uri, std::string station);
    ~PersonnelServer();
    PersonnelServer(const PersonnelServer&) = delete;
    PersonnelServer& operator=(const PersonnelServer&) = delete;

    // Connects, creates the table and trigger where they are missing and the
    // user may, and says which right is missing where it may not.
    ServerResult connect();
    bool connected() const;
    void disconnect();
    ServerCheck check();

    // The whole table, ordered by card code.
    std::optional<std::vector<ServerPersonnelRow>> readAll(ServerResult& result);
    // One row; nothing when the server does not hold the card.
    std::optional<ServerPersonnelRow> find(std::string_view cardCode, ServerResult& result);

    // Changed when the server holds the card already.
    ServerResult insert(std::string_view cardCode, std::string_view personnelNumber);
    // Changed when the row's changedAt is no longer the one given, or it is gone.
    ServerResult update(std::string_view cardCode, std::string_view personnelNumber,
                        std::string_view changedAt);
    ServerResult remove(std::string_view cardCode, std::string_view changedAt);
    ServerResult removeAll();

    // Moves rows (a PC's own table) to the server in one transaction; each
    // conflict is decided by ask, until it answers for all or cancels (then
    // nothing is changed).
    UploadReport upload(const std::vector<ServerPersonnelRow>& rows,
                        const std::function<UploadChoice(const UploadConflict&)>& ask);

    // For the listener: the connection's socket, LISTEN, and the card codes
    // announced since the last call (empty text: the whole table may have
    // changed, as after TRUNCATE).
    int socket() const;
    ServerResult listen();
    std::vector<std::string> takeAnnouncements(ServerResult& result);

private:
    struct Connection;
    std::shared_ptr<const PqLibrary> pq_;
    std::string uri_;
    std::string station_;
    std::unique_ptr<Connection> connection_;
};

} // namespace pelvaro
