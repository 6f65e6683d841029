#include "personnel/server/PqConnection.h"

#include "personnel/server/PqFunctions.h"

#include <algorithm>
#include <utility>

namespace pelvaro {

namespace {

using Outcome = ServerResult::Outcome;

std::string trimmed(const char* text) {
    std::string result = text ? text : "";
    while (!result.empty() && (result.back() == '\n' || result.back() == ' '))
        result.pop_back();
    return result;
}

// What a URI leaves out: a short wait for the server, and keepalives that
// notice a dead network within seconds, idle or not.
constexpr std::pair<const char*, const char*> kDefaults[] = {
    {"connect_timeout", "5"},      {"application_name", "Pelvaro"}, {"keepalives", "1"},
    {"keepalives_idle", "5"},      {"keepalives_interval", "2"},    {"keepalives_count", "3"},
    {"tcp_user_timeout", "10000"}, {"client_encoding", "UTF8"},
};

bool mentions(const std::string& text, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(),
                       [&text](const char* word) { return text.find(word) != std::string::npos; });
}

// Why a connection could not be made; libpq says no more than its message
// and whether a password was asked for.
ServerResult connectFailure(const PqFunctions& pq, PGconn* connection) {
    const std::string detail = std::string("\n").append(trimmed(pq.errorMessage(connection)));
    const std::string passwordFile = kPqPasswordFileText;
    if (pq.connectionNeedsPassword(connection))
        return {Outcome::Refused, "Der Server verlangt ein Passwort, aber die Passwortdatei (" +
                                      passwordFile + ") enthält keins für diesen Benutzer." +
                                      detail};
    if (pq.connectionUsedPassword(connection) && mentions(detail, {"password", "Passwort"}))
        return {Outcome::Refused, "Der Server hat das Passwort abgelehnt. Bitte den Eintrag in der "
                                  "Passwortdatei (" +
                                      passwordFile + ") prüfen." + detail};
    if (mentions(detail, {"certificate", "Zertifikat"}))
        return {Outcome::Failed,
                "Das Zertifikat des Servers passt nicht: Es ist nicht von der Stelle "
                "unterschrieben, der diese Verbindung vertraut (sslrootcert), oder nennt einen "
                "anderen Namen als den des Servers." +
                    detail};
    return {Outcome::Unreachable, "Der Server ist nicht erreichbar." + detail};
}

} // namespace

PqResult::PqResult(const PqFunctions& pq, PGresult* result) : pq_(pq), result_(result) {}

PqResult::~PqResult() {
    pq_.clear(result_);
}

bool PqResult::ok() const {
    const ExecStatusType status = pq_.resultStatus(result_);
    return result_ && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}

int PqResult::rows() const {
    return pq_.ntuples(result_);
}

std::string PqResult::text(int row, int column) const {
    return pq_.getvalue(result_, row, column);
}

std::string PqResult::errorField(int field) const {
    const char* text = result_ ? pq_.resultErrorField(result_, field) : nullptr;
    return text ? text : "";
}

std::string PqResult::sqlState() const {
    return errorField(PG_DIAG_SQLSTATE);
}

std::string PqResult::errorLine() const {
    return errorField(PG_DIAG_MESSAGE_PRIMARY);
}

std::unique_ptr<PqConnection> PqConnection::open(const PqFunctions& pq, const std::string& uri,
                                                 ServerResult& result) {
    char* error = nullptr;
    if (PQconninfoOption* options = pq.conninfoParse(uri.c_str(), &error)) {
        pq.conninfoFree(options);
    } else {
        result = {Outcome::Failed,
                  "Die Adresse des Servers ist keine gültige Verbindungsangabe.\n" +
                      trimmed(error)};
        pq.freemem(error);
        return nullptr;
    }
    // Entries before dbname are defaults that the URI's own settings override.
    std::vector<const char*> keywords, values;
    for (const auto& [keyword, value] : kDefaults) {
        keywords.push_back(keyword);
        values.push_back(value);
    }
    keywords.insert(keywords.end(), {"dbname", nullptr});
    values.insert(values.end(), {uri.c_str(), nullptr});
    PGconn* connection = pq.connectdbParams(keywords.data(), values.data(), 1);
    if (!connection) {
        result = {Outcome::Failed, "Für die Verbindung zum Server fehlt der Speicher."};
        return nullptr;
    }
    if (pq.status(connection) != CONNECTION_OK) {
        result = connectFailure(pq, connection);
        pq.finish(connection);
        return nullptr;
    }
    // The server's notices (a table that exists already, …) interest nobody here.
    pq.setNoticeProcessor(
        connection, [](void*, const char*) {}, nullptr);
    result = {};
    return std::unique_ptr<PqConnection>(new PqConnection(pq, connection));
}

PqConnection::~PqConnection() {
    pq_.finish(connection_);
}

PqResult PqConnection::run(const char* sql, std::initializer_list<std::string_view> values) {
    ++statements_;
    // libpq wants each value ending in a zero.
    const std::vector<std::string> texts(values.begin(), values.end());
    std::vector<const char*> pointers;
    for (const std::string& text : texts)
        pointers.push_back(text.c_str());
    return PqResult(pq_, pq_.execParams(connection_, sql, static_cast<int>(pointers.size()),
                                        nullptr, pointers.data(), nullptr, nullptr, 0));
}

PqResult PqConnection::runScript(const std::string& sql) {
    ++statements_;
    return PqResult(pq_, pq_.exec(connection_, sql.c_str()));
}

bool PqConnection::broken() const {
    return pq_.status(connection_) != CONNECTION_OK;
}

std::string PqConnection::errorText() const {
    return trimmed(pq_.errorMessage(connection_));
}

int PqConnection::socket() const {
    return pq_.socket(connection_);
}

bool PqConnection::readInput() {
    return pq_.consumeInput(connection_) == 1 && !broken();
}

std::vector<std::string> PqConnection::takeNotifications(std::string_view channel) {
    std::vector<std::string> payloads;
    while (PGnotify* notification = pq_.notifies(connection_)) {
        if (notification->relname == channel)
            payloads.emplace_back(notification->extra);
        pq_.freemem(notification);
    }
    return payloads;
}

} // namespace pelvaro
