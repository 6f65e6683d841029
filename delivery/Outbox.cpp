#include "delivery/Outbox.h"

#include "delivery/OutboxSqlite.h"
#include "personnel/SqliteLibrary.h"
#include "text/DateTimeText.h"
#include "text/LocalClock.h"
#include "text/PathText.h"

#include <map>
#include <mutex>

namespace pelvaro {

namespace {

constexpr int kSchemaVersion = 1;

// Set-aside events keep a copy with the server's reason; pending says which
// targets an event still has to reach, by the targets' numbers, so that an
// unconfigured target's events wait for it without being counted.
constexpr char kSchema[] =
    "CREATE TABLE events(seq INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT NOT NULL,"
    " json TEXT NOT NULL, offered INTEGER NOT NULL);"
    "CREATE INDEX unoffered_events ON events(seq) WHERE offered = 0;"
    "CREATE TABLE targets(target INTEGER PRIMARY KEY, url TEXT NOT NULL UNIQUE,"
    " configured INTEGER NOT NULL);"
    "CREATE TABLE pending(target INTEGER NOT NULL, seq INTEGER NOT NULL,"
    " PRIMARY KEY(target, seq)) WITHOUT ROWID;"
    "CREATE INDEX pending_by_event ON pending(seq);"
    "CREATE TABLE set_aside(target INTEGER NOT NULL, seq INTEGER NOT NULL, id TEXT NOT NULL,"
    " json TEXT NOT NULL, reason TEXT NOT NULL, PRIMARY KEY(target, seq));"
    "CREATE TABLE delivered_days(day TEXT PRIMARY KEY, count INTEGER NOT NULL);"
    "PRAGMA user_version = 1;";

// The file's SQLite connection and its statements, prepared once.
class Database {
public:
    Database(OutboxSqlite sql, sqlite3* db) : sql_(sql), db_(db) {}
    ~Database() {
        for (const auto& [text, statement] : statements_)
            sql_.finalize(statement);
        sql_.close(db_);
    }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const OutboxSqlite& sql() const { return sql_; }
    sqlite3* handle() const { return db_; }
    int execute(const char* text) { return sql_.exec(db_, text, nullptr, nullptr, nullptr); }

    // Null when it does not prepare; the connection's error says why.
    sqlite3_stmt* prepared(const char* text) {
        auto found = statements_.find(text);
        if (found != statements_.end())
            return found->second;
        sqlite3_stmt* statement = nullptr;
        if (sql_.prepare(db_, text, -1, &statement, nullptr) != SQLITE_OK)
            return nullptr;
        statements_.emplace(text, statement);
        return statement;
    }

    // Why a call failed, for the user.
    struct Failure {
        int code;
        std::string why;
    };
    Failure failure(int code) const {
        switch (code & 0xFF) {
        case SQLITE_FULL:
            return {code, "Der Datenträger ist voll."};
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return {code, "Die Datei ist keine SQLite-Datenbank oder beschädigt."};
        case SQLITE_CANTOPEN:
            return {code, "Die Datei kann nicht angelegt oder geöffnet werden."};
        case SQLITE_READONLY:
        case SQLITE_PERM:
            return {code, "Die Datei darf nicht geschrieben werden."};
        case SQLITE_IOERR:
            return {code,
                    "Lese- oder Schreibfehler (" + std::string(sql_.errorMessage(db_)) + ")."};
        default:
            return {code, "SQLite-Fehler " + std::to_string(code) + " (" +
                              std::string(sql_.errorMessage(db_)) + ")."};
        }
    }

    // The change as one committed transaction, rolled back when a step fails:
    // nothing, or why it failed.
    template <typename Change> std::optional<Failure> transaction(Change&& change) {
        int code = execute("BEGIN IMMEDIATE");
        if (code == SQLITE_OK)
            code = change();
        if (code == SQLITE_OK)
            code = execute("COMMIT");
        if (code == SQLITE_OK)
            return std::nullopt;
        Failure why = failure(code);
        // SQLite may have rolled back already (a full disk); then this does nothing.
        execute("ROLLBACK");
        return why;
    }

private:
    OutboxSqlite sql_;
    sqlite3* db_;
    // Keyed by the address of the statement's text, a constant of ours.
    std::map<const char*, sqlite3_stmt*> statements_;
};

// One use of a prepared statement: parameters bound in order, reset when done.
class Query {
public:
    Query(Database& database, const char* text)
        : sql_(database.sql()), statement_(database.prepared(text)),
          // A statement reads the schema when prepared: a locked file fails here.
          prepareCode_(statement_ ? SQLITE_OK : sql_.errorCode(database.handle())) {}
    ~Query() {
        if (statement_)
            sql_.reset(statement_);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& bind(int64_t value) {
        if (statement_)
            sql_.bindInteger(statement_, ++bound_, value);
        return *this;
    }
    Query& bind(std::string_view value) {
        if (statement_)
            sql_.bindText(statement_, ++bound_, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }

    // SQLITE_ROW, SQLITE_DONE or the error.
    int step() { return statement_ ? sql_.step(statement_) : prepareCode_; }
    // Runs it to its end: SQLITE_OK or the error.
    int run() {
        int code = step();
        while (code == SQLITE_ROW)
            code = step();
        return code == SQLITE_DONE ? SQLITE_OK : code;
    }
    // The first column of the first row, 0 without a row.
    int64_t single() { return step() == SQLITE_ROW ? integer(0) : 0; }

    int64_t integer(int column) const { return sql_.columnInteger(statement_, column); }
    std::string text(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sql_.columnText(statement_, column));
        return bytes ? std::string(bytes, static_cast<size_t>(sql_.columnBytes(statement_, column)))
                     : std::string();
    }

private:
    const OutboxSqlite& sql_;
    sqlite3_stmt* statement_;
    int prepareCode_;
    int bound_ = 0;
};

// Runs the steps in order until one fails: SQLITE_OK or its code.
template <typename... Steps> int inOrder(Steps&&... steps) {
    int code = SQLITE_OK;
    ((code = code == SQLITE_OK ? steps() : code), ...);
    return code;
}

std::string quoted(const std::string& file) {
    return "„" + file + "“";
}

} // namespace

struct Outbox::Connection {
    Connection(std::shared_ptr<const SqliteLibrary> library, std::unique_ptr<Database> database,
               std::string file, size_t mostQueued)
        : library(std::move(library)), database(std::move(database)), file(std::move(file)),
          mostQueued(mostQueued) {}

    std::shared_ptr<const SqliteLibrary> library; // loaded while the file is open
    std::unique_ptr<Database> database;
    const std::string file; // in UTF-8, for messages
    const size_t mostQueued;
    size_t queued = 0;                                   // events in the file
    std::map<std::string, int64_t, std::less<>> targets; // the configured ones, by URL
    mutable std::mutex mutex;

    // The target's number; nothing for one not configured.
    std::optional<int64_t> targetNumber(std::string_view url) const {
        const auto found = targets.find(url);
        return found == targets.end() ? std::nullopt : std::optional(found->second);
    }

    // A count over the target's rows; 0 for a target not configured.
    size_t countFor(std::string_view target, const char* sql) const {
        std::lock_guard lock(mutex);
        const std::optional<int64_t> number = targetNumber(target);
        return number ? static_cast<size_t>(Query(*database, sql).bind(*number).single()) : 0;
    }

    std::string writeFailure(const std::string& why) const {
        return "Der Postausgang " + quoted(file) + " konnte nicht geschrieben werden: " + why;
    }

    // Removes the event once no target, configured or not, still waits for it.
    int removeIfDone(int64_t seq) {
        Query remove(*database,
                     "DELETE FROM events WHERE seq = ?1 AND NOT EXISTS (SELECT 1 FROM pending "
                     "WHERE seq = ?1)");
        const int code = remove.bind(seq).run();
        if (code == SQLITE_OK)
            removed += static_cast<size_t>(database->sql().changes(database->handle()));
        return code;
    }
    // Events removed by the transaction under way.
    size_t removed = 0;

    // Runs the change with removeIfDone counting; the count applied only once committed.
    template <typename Change> std::optional<std::string> removingTransaction(Change&& change) {
        removed = 0;
        auto failure = database->transaction(std::forward<Change>(change));
        if (failure)
            return writeFailure(failure->why);
        queued -= std::min(queued, removed);
        return std::nullopt;
    }

    // Opens the file for the targets: the schema made or checked, the targets
    // numbered, and what an earlier run stored but never offered offered now.
    std::optional<std::string> prepare(const std::vector<std::string>& urls);
    // Makes or updates the schema and notes the targets: the first failing step's code.
    int migrate(const std::vector<std::string>& urls, int64_t& version);
};

std::optional<std::string> Outbox::Connection::prepare(const std::vector<std::string>& urls) {
    Database& db = *database;
    // No waiting for a lock: another owner means another process delivers this file.
    db.sql().busyTimeout(db.handle(), 0);
    std::string journal;
    int64_t version = 0;
    const int code =
        inOrder([&] { return db.execute("PRAGMA locking_mode = EXCLUSIVE"); },
                [&] {
                    Query mode(db, "PRAGMA journal_mode = WAL");
                    const int step = mode.step();
                    journal = mode.text(0);
                    return step == SQLITE_ROW ? SQLITE_OK : step;
                },
                [&] { return db.execute("PRAGMA synchronous = FULL"); },
                // The exclusive lock, taken now and held for as long as the file is open.
                [&] { return db.execute("BEGIN EXCLUSIVE"); }, [&] { return db.execute("COMMIT"); },
                [&] {
                    auto failure = db.transaction([&] { return migrate(urls, version); });
                    return failure ? failure->code : SQLITE_OK;
                });
    if ((code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED)
        return "Der Postausgang " + quoted(file) +
               " wird schon von einem anderen laufenden Pelvaro versandt. Eine Datei kann nur ein "
               "Programm zur Zeit versenden.";
    if (code != SQLITE_OK)
        return "Der Postausgang " + quoted(file) +
               " kann nicht geöffnet werden: " + db.failure(code).why;
    if (journal != "wal")
        return "Der Postausgang " + quoted(file) +
               " kann nicht geöffnet werden: SQLite kann ihn nicht im WAL-Modus führen.";
    if (version > kSchemaVersion)
        return "Der Postausgang " + quoted(file) +
               " stammt von einer neueren Pelvaro-Version und wird nicht verändert.";
    return std::nullopt;
}

int Outbox::Connection::migrate(const std::vector<std::string>& urls, int64_t& version) {
    Database& db = *database;
    version = Query(db, "PRAGMA user_version").single();
    if (version > kSchemaVersion)
        return SQLITE_OK;
    int step = version == 0 ? db.execute(kSchema) : SQLITE_OK;
    if (step == SQLITE_OK)
        step = Query(db, "UPDATE targets SET configured = 0").run();
    for (const std::string& url : urls) {
        if (step != SQLITE_OK)
            break;
        step = Query(db, "INSERT INTO targets(url, configured) VALUES(?, 1) ON CONFLICT(url) "
                         "DO UPDATE SET configured = 1")
                   .bind(url)
                   .run();
        if (step == SQLITE_OK)
            targets[url] = Query(db, "SELECT target FROM targets WHERE url = ?").bind(url).single();
    }
    if (step == SQLITE_OK)
        step = Query(db, "UPDATE events SET offered = 1 WHERE offered = 0").run();
    // Stored while no target was configured, and never offered.
    if (step == SQLITE_OK)
        step = Query(db, "DELETE FROM events WHERE NOT EXISTS (SELECT 1 FROM pending WHERE "
                         "pending.seq = events.seq)")
                   .run();
    if (step == SQLITE_OK)
        queued = static_cast<size_t>(Query(db, "SELECT count(*) FROM events").single());
    return step;
}

Outbox::Outbox(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}

Outbox::~Outbox() = default;

std::variant<std::unique_ptr<Outbox>, std::string>
Outbox::open(std::shared_ptr<const SqliteLibrary> sqlite, const std::filesystem::path& file,
             std::vector<std::string> targets, size_t mostQueued) {
    const std::string name = Utf8Path(file);
    const std::optional<OutboxSqlite> sql = sqlite ? OutboxSqlite::resolve(*sqlite) : std::nullopt;
    if (!sql)
        return "Der Postausgang " + quoted(name) +
               " kann nicht geöffnet werden: Es ist keine passende SQLite-Bibliothek geladen.";
    sqlite3* handle = nullptr;
    const int code =
        sql->open(name.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto database = std::make_unique<Database>(*sql, handle);
    if (code != SQLITE_OK)
        return "Der Postausgang " + quoted(name) +
               " kann nicht geöffnet werden: " + database->failure(code).why;
    auto connection = std::make_unique<Connection>(std::move(sqlite), std::move(database), name,
                                                   std::max<size_t>(mostQueued, 1));
    if (auto failure = connection->prepare(targets))
        return *failure;
    return std::unique_ptr<Outbox>(new Outbox(std::move(connection)));
}

std::variant<int64_t, std::string> Outbox::store(const ReadEvent& event) {
    // Until it is offered, whether it was typed is not known.
    ReadEvent untyped = event;
    untyped.typed.reset();
    const std::string json = readEventJson(untyped);

    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    if (c.queued >= c.mostQueued)
        return "Der Postausgang ist voll: " + std::to_string(c.queued) +
               " Lesungen warten auf Versand. Diese Lesung wird nicht versandt.";
    Database& db = *c.database;
    int64_t seq = 0;
    auto failure = db.transaction([&] {
        int code = Query(db, "INSERT INTO events(id, json, offered) VALUES(?, ?, 0)")
                       .bind(event.id)
                       .bind(json)
                       .run();
        seq = db.sql().lastInsertRowid(db.handle());
        for (const auto& [url, target] : c.targets)
            if (code == SQLITE_OK)
                code = Query(db, "INSERT INTO pending(target, seq) VALUES(?, ?)")
                           .bind(target)
                           .bind(seq)
                           .run();
        return code;
    });
    if (failure)
        return "Die Lesung konnte nicht im Postausgang " + quoted(c.file) +
               " gespeichert werden: " + failure->why;
    ++c.queued;
    return seq;
}

std::optional<std::string> Outbox::offer(int64_t seq, const ReadEvent& event) {
    const std::string json = readEventJson(event);
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    auto failure = c.removingTransaction([&] {
        return inOrder(
            [&] {
                return Query(*c.database, "UPDATE events SET json = ?, offered = 1 WHERE seq = ?")
                    .bind(json)
                    .bind(seq)
                    .run();
            },
            [&] { return c.removeIfDone(seq); });
    });
    return failure;
}

std::vector<QueuedEvent> Outbox::next(std::string_view target, size_t count) {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    const std::optional<int64_t> number = c.targetNumber(target);
    std::vector<QueuedEvent> events;
    if (!number)
        return events;
    // In order: nothing past an event still being typed.
    Query query(*c.database,
                "SELECT e.seq, e.id, e.json FROM pending p JOIN events e ON e.seq = p.seq "
                "WHERE p.target = ? AND p.seq < coalesce((SELECT min(seq) FROM events WHERE "
                "offered = 0), 9223372036854775807) ORDER BY p.seq LIMIT ?");
    query.bind(*number).bind(static_cast<int64_t>(count));
    while (query.step() == SQLITE_ROW)
        events.push_back({query.integer(0), query.text(1), query.text(2)});
    return events;
}

std::optional<std::string> Outbox::delivered(std::string_view target,
                                             std::span<const int64_t> seqs) {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    const std::optional<int64_t> number = c.targetNumber(target);
    if (!number || seqs.empty())
        return std::nullopt;
    Database& db = *c.database;
    const std::string today = DateText(localTimeNow());
    auto failure = c.removingTransaction([&] {
        int64_t taken = 0;
        int code = SQLITE_OK;
        for (const int64_t seq : seqs) {
            code = inOrder(
                [&] {
                    const int step = Query(db, "DELETE FROM pending WHERE target = ? AND seq = ?")
                                         .bind(*number)
                                         .bind(seq)
                                         .run();
                    taken += db.sql().changes(db.handle());
                    return step;
                },
                [&] { return c.removeIfDone(seq); });
            if (code != SQLITE_OK)
                return code;
        }
        return inOrder(
            [&] {
                return Query(db, "DELETE FROM delivered_days WHERE day <> ?").bind(today).run();
            },
            [&] {
                return Query(db, "INSERT INTO delivered_days(day, count) VALUES(?, ?) "
                                 "ON CONFLICT(day) DO UPDATE SET count = count + excluded.count")
                    .bind(today)
                    .bind(taken)
                    .run();
            });
    });
    return failure;
}

std::optional<std::string> Outbox::setAside(std::string_view target, int64_t seq,
                                            std::string_view reason) {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    const std::optional<int64_t> number = c.targetNumber(target);
    if (!number)
        return std::nullopt;
    Database& db = *c.database;
    auto failure = c.removingTransaction([&] {
        return inOrder(
            [&] {
                return Query(db, "INSERT OR REPLACE INTO set_aside(target, seq, id, json, reason) "
                                 "SELECT ?1, seq, id, json, ?2 FROM events WHERE seq = ?3 AND "
                                 "EXISTS (SELECT 1 FROM pending WHERE target = ?1 AND seq = ?3)")
                    .bind(*number)
                    .bind(reason)
                    .bind(seq)
                    .run();
            },
            [&] {
                return Query(db, "DELETE FROM pending WHERE target = ? AND seq = ?")
                    .bind(*number)
                    .bind(seq)
                    .run();
            },
            [&] { return c.removeIfDone(seq); });
    });
    return failure;
}

size_t Outbox::waiting() const {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    return static_cast<size_t>(Query(*c.database, "SELECT count(DISTINCT p.seq) FROM targets t "
                                                  "JOIN pending p ON p.target = t.target "
                                                  "WHERE t.configured = 1")
                                   .single());
}

size_t Outbox::waiting(std::string_view target) const {
    return connection_->countFor(target, "SELECT count(*) FROM pending WHERE target = ?");
}

size_t Outbox::setAsideCount(std::string_view target) const {
    return connection_->countFor(target, "SELECT count(*) FROM set_aside WHERE target = ?");
}

std::string Outbox::lastRejection(std::string_view target) const {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    const std::optional<int64_t> number = c.targetNumber(target);
    if (!number)
        return {};
    Query query(*c.database,
                "SELECT reason FROM set_aside WHERE target = ? ORDER BY rowid DESC LIMIT 1");
    return query.bind(*number).step() == SQLITE_ROW ? query.text(0) : std::string();
}

size_t Outbox::deliveredToday() const {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    return static_cast<size_t>(Query(*c.database, "SELECT count FROM delivered_days WHERE day = ?")
                                   .bind(DateText(localTimeNow()))
                                   .single());
}

} // namespace pelvaro
