#include "personnel/server/PersonnelCache.h"

#include "fileio/FileLocations.h"
#include "personnel/PersonnelDatabase.h"
#include "personnel/SqliteLibrary.h"
#include "personnel/server/PersonnelServer.h"
#include "text/PathText.h"

#include <sqlite3.h>
#include <type_traits>

namespace pelvaro {

namespace {

// "PVLC" in the file's header: the table is a server's copy.
constexpr long long kServerCopyId = 0x50564C43;
// user_version counts the seconds since this moment, which a signed 32-bit
// number holds until 2088.
constexpr std::chrono::sys_seconds kAsOfEpoch{
    std::chrono::sys_days{std::chrono::year{2020} / std::chrono::January / 1}};
// A lookup never waits for the writer in WAL mode; another writer (a second
// program on the same file) is waited for.
constexpr int kBusyMilliseconds = 5000;

} // namespace

// What the cache needs beyond the entry points every binding has.
struct CacheCalls {
    const SqliteFunctions& base;
    // Prepared anew by SQLite itself when another connection changed the schema.
    decltype(&sqlite3_prepare_v2) prepare = nullptr;
    decltype(&sqlite3_reset) reset = nullptr;
    decltype(&sqlite3_busy_timeout) busyTimeout = nullptr;
};

namespace {

// A prepared statement, finalized when it goes.
class Statement {
public:
    Statement(const CacheCalls& calls, sqlite3* db, std::string_view sql) : sqlite_(calls.base) {
        prepared_ =
            calls.prepare(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr);
    }
    ~Statement() { sqlite_.finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int prepared() const { return prepared_; }
    // Binds the values as parameters 1, 2, ... and steps once: SQLite's result.
    int run(std::initializer_list<std::string_view> values) {
        int index = 1;
        for (const std::string_view value : values) {
            const int bound =
                sqlite_.bindText(statement_, index++, value.empty() ? "" : value.data(),
                                 static_cast<int>(value.size()), SQLITE_TRANSIENT);
            if (bound != SQLITE_OK)
                return bound;
        }
        return sqlite_.step(statement_);
    }
    std::string text(int column) const {
        const unsigned char* value = sqlite_.columnText(statement_, column);
        return value ? reinterpret_cast<const char*>(value) : "";
    }
    sqlite3_stmt* handle() const { return statement_; }

private:
    const SqliteFunctions& sqlite_;
    sqlite3_stmt* statement_ = nullptr;
    int prepared_ = SQLITE_OK;
};

// Runs a statement to its end; SQLITE_OK when it got there.
int runToEnd(const CacheCalls& calls, sqlite3* db, std::string_view sql,
             std::initializer_list<std::string_view> values = {}) {
    Statement statement(calls, db, sql);
    if (statement.prepared() != SQLITE_OK)
        return statement.prepared();
    int stepped = statement.run(values);
    while (stepped == SQLITE_ROW)
        stepped = calls.base.step(statement.handle());
    return stepped == SQLITE_DONE ? SQLITE_OK : stepped;
}

} // namespace

std::unique_ptr<PersonnelCache> PersonnelCache::open(std::shared_ptr<const SqliteLibrary> sqlite,
                                                     const std::filesystem::path& file,
                                                     std::string& problem) {
    auto calls = std::make_unique<CacheCalls>(CacheCalls{sqlite->functions()});
    bool complete = true;
    const auto take = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(sqlite->symbol(name));
        complete = complete && slot;
    };
    take(calls->prepare, "sqlite3_prepare_v2");
    take(calls->reset, "sqlite3_reset");
    take(calls->busyTimeout, "sqlite3_busy_timeout");
    if (!complete) {
        problem = "Die SQLite-Bibliothek kann die Kopie der Personalnummern nicht schreiben "
                  "(sqlite3_prepare_v2, sqlite3_reset oder sqlite3_busy_timeout fehlt).";
        return nullptr;
    }
    const SqliteFunctions& base = calls->base;
    sqlite3* db = nullptr;
    const int opened = base.open(Utf8Path(file).c_str(), &db);
    if (opened != SQLITE_OK) {
        base.close(db);
        problem = Utf8Path(file) + " kann nicht geöffnet werden (SQLite-Fehler " +
                  std::to_string(opened) + ").";
        return nullptr;
    }
    calls->busyTimeout(db, kBusyMilliseconds);
    std::unique_ptr<PersonnelCache> cache(
        new PersonnelCache(std::move(sqlite), std::move(calls), file, db));
    // WAL stays in the file; a program without a server reads it all the same.
    const CacheCalls& own = *cache->calls_;
    int result = runToEnd(own, db, kCreatePersonnelTable);
    if (result == SQLITE_OK)
        result = runToEnd(own, db, "PRAGMA journal_mode=WAL");
    if (result != SQLITE_OK) {
        problem = cache->failure(result);
        return nullptr;
    }
    return cache;
}

PersonnelCache::PersonnelCache(std::shared_ptr<const SqliteLibrary> sqlite,
                               std::unique_ptr<const CacheCalls> calls, std::filesystem::path file,
                               sqlite3* db)
    : sqlite_(std::move(sqlite)), calls_(std::move(calls)), file_(std::move(file)), db_(db) {}

PersonnelCache::~PersonnelCache() {
    calls_->base.close(db_);
}

std::optional<PersonnelCache::Clock::time_point> PersonnelCache::asOf() const {
    if (integer("PRAGMA application_id") != kServerCopyId)
        return std::nullopt;
    const auto seconds = integer("PRAGMA user_version");
    if (!seconds)
        return std::nullopt;
    return kAsOfEpoch + std::chrono::seconds(*seconds);
}

std::string PersonnelCache::fill(const std::vector<ServerPersonnelRow>& rows) {
    if (!asOf() && integer("SELECT count(*) FROM t_card_personal").value_or(0) > 0)
        if (std::string problem = keepOwnTable(); !problem.empty())
            return problem;
    return inTransaction([&] {
        int result = runToEnd(*calls_, db_, "DELETE FROM t_card_personal");
        Statement insert(*calls_, db_,
                         "INSERT INTO t_card_personal(Cardcode, PersNum) VALUES (?, ?)");
        if (result == SQLITE_OK)
            result = insert.prepared();
        for (auto row = rows.begin(); result == SQLITE_OK && row != rows.end(); ++row) {
            const int stepped = insert.run({row->cardCode, row->personnelNumber});
            result = calls_->reset(insert.handle());
            if (stepped != SQLITE_DONE && result == SQLITE_OK)
                result = stepped;
        }
        return result;
    });
}

std::string PersonnelCache::apply(std::string_view cardCode,
                                  const std::optional<ServerPersonnelRow>& row) {
    return inTransaction([&] {
        return row ? runToEnd(*calls_, db_,
                              "INSERT OR REPLACE INTO t_card_personal(Cardcode, PersNum) "
                              "VALUES (?, ?)",
                              {row->cardCode, row->personnelNumber})
                   : runToEnd(*calls_, db_, "DELETE FROM t_card_personal WHERE Cardcode = ?",
                              {cardCode});
    });
}

// The rows and the header's stamp commit together, or neither does.
template <typename Write> std::string PersonnelCache::inTransaction(Write&& write) {
    int result = runToEnd(*calls_, db_, "BEGIN IMMEDIATE");
    if (result != SQLITE_OK)
        return failure(result);
    result = write();
    if (result == SQLITE_OK) {
        const auto now = std::chrono::floor<std::chrono::seconds>(Clock::now());
        result = runToEnd(*calls_, db_, "PRAGMA application_id = " + std::to_string(kServerCopyId));
        if (result == SQLITE_OK)
            result =
                runToEnd(*calls_, db_,
                         "PRAGMA user_version = " + std::to_string((now - kAsOfEpoch).count()));
    }
    if (result == SQLITE_OK)
        result = runToEnd(*calls_, db_, "COMMIT");
    if (result == SQLITE_OK)
        return {};
    runToEnd(*calls_, db_, "ROLLBACK");
    return failure(result);
}

// A consistent copy by SQLite itself, whatever the journal, under a name of
// its own until it is whole.
std::string PersonnelCache::keepOwnTable() {
    const std::filesystem::path kept = file_.parent_path() / kLocalPersonnelTableFile;
    std::error_code error;
    if (std::filesystem::exists(kept, error))
        return {};
    std::filesystem::path partial = kept;
    partial += ".neu";
    std::filesystem::remove(partial, error);
    const int copied = runToEnd(*calls_, db_, "VACUUM INTO ?", {Utf8Path(partial)});
    if (copied == SQLITE_OK)
        std::filesystem::rename(partial, kept, error);
    if (copied == SQLITE_OK && !error)
        return {};
    std::filesystem::remove(partial, error);
    return "Die eigene Personalnummern-Tabelle kann nicht als " + Utf8Path(kept) +
           " gesichert werden (" +
           (copied != SQLITE_OK ? "SQLite-Fehler " + std::to_string(copied)
                                : std::string("Umbenennen fehlgeschlagen")) +
           "); die Kopie des Servers wird erst danach geschrieben.";
}

std::optional<long long> PersonnelCache::integer(const char* sql) const {
    Statement statement(*calls_, db_, sql);
    if (statement.prepared() != SQLITE_OK || statement.run({}) != SQLITE_ROW)
        return std::nullopt;
    try {
        return std::stoll(statement.text(0));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string PersonnelCache::failure(int code) const {
    return Utf8Path(file_) + " kann nicht geschrieben werden (SQLite-Fehler " +
           std::to_string(code) + ").";
}

} // namespace pelvaro
