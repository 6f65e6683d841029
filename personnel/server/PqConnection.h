#pragma once

#include "personnel/server/PersonnelServer.h"

#include <initializer_list>
#include <libpq-fe.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

struct PqFunctions;

// The outcome of one statement; cleared when it goes.
class PqResult {
public:
    PqResult(const PqFunctions& pq, PGresult* result);
    ~PqResult();
    PqResult(const PqResult&) = delete;
    PqResult& operator=(const PqResult&) = delete;

    bool ok() const;
    int rows() const;
    std::string text(int row, int column) const;
    // The SQLSTATE of an error; empty when there is none.
    std::string sqlState() const;
    // The server's one line on what went wrong; empty when it sent none.
    std::string errorLine() const;

private:
    std::string errorField(int field) const;

    const PqFunctions& pq_;
    PGresult* result_;
};

// One libpq connection; statements run with their values as parameters.
class PqConnection {
public:
    // Connects with the URI, adding the defaults it lacks: a short connect
    // timeout and TCP keepalives, so a dead network shows within seconds.
    // Nothing when it fails; then result says why, in German, with libpq's
    // own message.
    static std::unique_ptr<PqConnection> open(const PqFunctions& pq, const std::string& uri,
                                              ServerResult& result);
    ~PqConnection();
    PqConnection(const PqConnection&) = delete;
    PqConnection& operator=(const PqConnection&) = delete;

    PqResult run(const char* sql, std::initializer_list<std::string_view> values = {});
    // Several statements in one text, without values.
    PqResult runScript(const std::string& sql);
    // Counts the statements run since the last reset.
    int statementsRun() const { return statements_; }
    void resetStatementCount() { statements_ = 0; }

    bool broken() const;
    // libpq's last message, trimmed.
    std::string errorText() const;

    int socket() const;
    // Reads what the server sent; false when the connection broke.
    bool readInput();
    // The payloads announced on the channel since the last call.
    std::vector<std::string> takeNotifications(std::string_view channel);

private:
    PqConnection(const PqFunctions& pq, PGconn* connection) : pq_(pq), connection_(connection) {}

    const PqFunctions& pq_;
    PGconn* connection_;
    int statements_ = 0;
};

} // namespace pelvaro
