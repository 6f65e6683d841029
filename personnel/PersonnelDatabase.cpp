#include "personnel/PersonnelDatabase.h"

#include "personnel/SqliteLibrary.h"
#include "text/PathText.h"

#include <chrono>
#include <thread>
#include <vector>

namespace pelvaro {

const char kCreatePersonnelTable[] = "CREATE TABLE IF NOT EXISTS t_card_personal (Cardcode "
                                     "VARCHAR(50) PRIMARY KEY  NOT NULL, PersNum VARCHAR(50) "
                                     "NOT NULL)";

namespace {

constexpr int kBusyTries = 5;
constexpr auto kBusyPause = std::chrono::milliseconds(2);

int textLength(std::string_view text) {
    return static_cast<int>(text.size());
}

// A prepared statement with its values bound as parameters 1, 2, ...;
// finalized when it goes.
class Statement {
public:
    Statement(const SqliteFunctions& sqlite, sqlite3* db, std::string_view sql,
              std::initializer_list<std::string_view> values)
        : sqlite_(sqlite), db_(db), sql_(sql), values_(values) {
        prepare();
    }
    ~Statement() { sqlite_.finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // SQLITE_OK when the statement is ready to step.
    int prepared() const { return result_; }
    int step() {
        const int result = sqlite_.step(statement_);
        // The legacy interface does not prepare a statement again after
        // another connection changed the schema: its first step fails, and
        // only finalizing tells why. Prepared anew, it runs on the new schema.
        if (result != SQLITE_ERROR || preparedAgain_)
            return result;
        preparedAgain_ = true;
        if (finish() != SQLITE_SCHEMA)
            return result;
        prepare();
        return result_ == SQLITE_OK ? step() : result_;
    }
    std::string text(int column) const {
        const unsigned char* value = sqlite_.columnText(statement_, column);
        return value ? reinterpret_cast<const char*>(value) : "";
    }
    // Finalizes now; the result code of the statement's last step.
    int finish() {
        if (statement_) {
            finished_ = sqlite_.finalize(statement_);
            statement_ = nullptr;
        }
        return finished_;
    }

private:
    void prepare() {
        // SQLite's own answer for a connection that is not there.
        result_ = db_ ? sqlite_.prepare(db_, sql_.data(), textLength(sql_), &statement_, nullptr)
                      : SQLITE_MISUSE;
        int index = 1;
        for (const std::string_view value : values_) {
            if (result_ != SQLITE_OK)
                break;
            // A null pointer would bind NULL, which the table refuses, instead of "".
            const char* text = value.empty() ? "" : value.data();
            result_ = sqlite_.bindText(statement_, index++, text, textLength(value), SQLITE_STATIC);
        }
    }

    const SqliteFunctions& sqlite_;
    sqlite3* db_;
    std::string_view sql_;
    std::vector<std::string_view> values_;
    sqlite3_stmt* statement_ = nullptr;
    int result_ = SQLITE_OK;
    int finished_ = SQLITE_OK;
    bool preparedAgain_ = false;
};

// Steps a query, handing each row to takeRow until it returns false. Five busy
// results in a row end the query as complete.
template <typename TakeRow> DatabaseResult stepQuery(Statement& statement, TakeRow&& takeRow) {
    if (statement.prepared() != SQLITE_OK)
        return {statement.prepared(), "SQL prepare error"};
    int tries = kBusyTries;
    while (tries > 0) {
        switch (const int stepped = statement.step()) {
        case SQLITE_BUSY:
            std::this_thread::sleep_for(kBusyPause);
            --tries;
            break;
        case SQLITE_DONE:
            return {};
        case SQLITE_ROW:
            if (!takeRow(statement))
                return {};
            tries = kBusyTries;
            break;
        case SQLITE_ERROR:
            return {stepped, "SQL SELECT error"};
        case SQLITE_MISUSE:
            return {stepped, "SQL MISUSE error"};
        default:
            return {stepped, "Unexpected return from sqlite3_step"};
        }
    }
    return {};
}

} // namespace

PersonnelDatabase::PersonnelDatabase(std::shared_ptr<const SqliteLibrary> sqlite)
    : sqlite_(std::move(sqlite)) {}

PersonnelDatabase::~PersonnelDatabase() {
    if (db_)
        sqlite_->functions().close(db_);
}

DatabaseResult PersonnelDatabase::OpenPersonnelDatabase(const std::filesystem::path& directory) {
    const SqliteFunctions& sqlite = sqlite_->functions();
    const std::string file = Utf8Path(directory / kPersonnelDatabaseFile);
    sqlite3* db = nullptr;
    const int opened = sqlite.open(file.c_str(), &db);
    if (opened != SQLITE_OK) {
        // A failed open still hands out a connection to release.
        sqlite.close(db);
        return {opened, "Error opening database, " + std::to_string(opened) + "."};
    }
    db_ = db;
    // No error text is asked for: it would need sqlite3_free, which is not bound.
    if (const int created = sqlite.exec(db_, kCreatePersonnelTable, nullptr, nullptr, nullptr))
        return {created, kCreatePersonnelTable};
    return {};
}

DatabaseResult PersonnelDatabase::ClosePersonnelDatabase() {
    if (!db_)
        return {};
    const int closed = sqlite_->functions().close(db_);
    db_ = nullptr;
    if (closed != SQLITE_OK)
        return {closed, "Error closing database, " + std::to_string(closed) + "."};
    return {};
}

PersonnelLookup PersonnelDatabase::LookupPersonnelNumber(std::string_view code) {
    return lookup("SELECT PersNum FROM t_card_personal WHERE Cardcode = ?;", 0, code);
}

PersonnelLookup PersonnelDatabase::FindPersonnelEntry(std::string_view code) {
    return lookup("SELECT Cardcode, PersNum FROM t_card_personal where Cardcode = ?;", 1, code);
}

PersonnelLookup PersonnelDatabase::lookup(std::string_view sql, int column, std::string_view code) {
    Statement statement(sqlite_->functions(), db_, sql, {code});
    PersonnelLookup found;
    found.result = stepQuery(statement, [&](const Statement& row) {
        found.personnelNumber = row.text(column);
        return false;
    });
    if (!found.result.ok())
        found.personnelNumber.reset();
    return found;
}

PersonnelTable PersonnelDatabase::ReadPersonnelTable() {
    Statement statement(sqlite_->functions(), db_, "SELECT * FROM t_card_personal", {});
    PersonnelTable table;
    table.result = stepQuery(statement, [&](const Statement& row) {
        table.entries.push_back({row.text(0), row.text(1)});
        return true;
    });
    return table;
}

DatabaseResult PersonnelDatabase::InsertPersonnelEntry(std::string_view code,
                                                       std::string_view personnelNumber) {
    return modify("INSERT INTO t_card_personal(Cardcode, PersNum) VALUES (?, ?);",
                  {code, personnelNumber});
}

DatabaseResult PersonnelDatabase::UpdatePersonnelEntry(std::string_view code,
                                                       std::string_view personnelNumber) {
    return modify("UPDATE t_card_personal SET PersNum = ? WHERE Cardcode = ?;",
                  {personnelNumber, code});
}

DatabaseResult PersonnelDatabase::DeletePersonnelEntry(std::string_view code) {
    return modify("DELETE FROM t_card_personal WHERE Cardcode = ?;", {code});
}

DatabaseResult PersonnelDatabase::DeleteAllPersonnelEntries() {
    return modify("DELETE FROM t_card_personal", {});
}

// One step in its own automatic transaction, never retried.
DatabaseResult PersonnelDatabase::modify(std::string_view sql,
                                         std::initializer_list<std::string_view> values) {
    Statement statement(sqlite_->functions(), db_, sql, values);
    if (statement.prepared() != SQLITE_OK)
        return {statement.prepared(), {}};
    const int stepped = statement.step();
    // The legacy interface steps to a generic error; finalizing gives the specific one.
    if (const int finished = statement.finish(); finished != SQLITE_OK)
        return {finished, {}};
    return {stepped == SQLITE_DONE ? SQLITE_OK : stepped, {}};
}

} // namespace pelvaro
