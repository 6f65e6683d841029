#pragma once

#include "fileio/FileLocations.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace pelvaro {

class SqliteLibrary;

// The statement that creates the table t_card_personal where it is missing.
extern const char kCreatePersonnelTable[];

// How an operation on the database ended: SQLite's result code, 0 when it
// succeeded, and for a failure the text the program shows for it where the
// database has one ("Error opening database, 14.", "SQL prepare error", ...).
struct DatabaseResult {
    int code = 0;
    std::string failure;

    bool ok() const { return code == 0; }
    bool operator==(const DatabaseResult&) const = default;
};

// What a lookup of one card code found.
struct PersonnelLookup {
    DatabaseResult result;
    // The personnel number stored for the code (possibly empty), if there is one.
    std::optional<std::string> personnelNumber;
};

// One row of the table t_card_personal, in UTF-8.
struct PersonnelEntry {
    std::string cardCode;
    std::string personnelNumber;

    bool operator==(const PersonnelEntry&) const = default;
};

struct PersonnelTable {
    // In the order the query returned them; after a failure the rows read so far.
    std::vector<PersonnelEntry> entries;
    DatabaseResult result;
};

// The table of card codes and personnel numbers through one connection. Values
// are bound as statement parameters, so any text is stored exactly as given.
// A query that meets a locked database tries five times, 2 ms apart, and then
// ends with the rows seen so far. Not thread-safe: one thread uses it.
class PersonnelDatabase {
public:
    explicit PersonnelDatabase(std::shared_ptr<const SqliteLibrary> sqlite);
    // Closes a connection still open, silently.
    ~PersonnelDatabase();
    PersonnelDatabase(const PersonnelDatabase&) = delete;
    PersonnelDatabase& operator=(const PersonnelDatabase&) = delete;

    // Opens the file kPersonnelDatabaseFile in the directory (the program's, or
    // the user's data folder), creating it and its table when missing; call it
    // once. A failure's text is shown under "Error": "Error opening database,
    // <code>." leaves the database closed (the personnel features go off);
    // the CREATE TABLE statement's own text leaves it open.
    DatabaseResult OpenPersonnelDatabase(const std::filesystem::path& directory);
    // A failure reads "Error closing database, <code>.". The database counts
    // as closed afterwards in either case.
    DatabaseResult ClosePersonnelDatabase();
    bool isOpen() const { return db_ != nullptr; }

    // The personnel number stored for a code.
    PersonnelLookup LookupPersonnelNumber(std::string_view code);
    // The entry for a code, by the query of the editing mode; found gives its number.
    PersonnelLookup FindPersonnelEntry(std::string_view code);
    // Every row of the table, for the grid.
    PersonnelTable ReadPersonnelTable();

    // The editing mode reports a failed change with its own text and the code.
    DatabaseResult InsertPersonnelEntry(std::string_view code, std::string_view personnelNumber);
    DatabaseResult UpdatePersonnelEntry(std::string_view code, std::string_view personnelNumber);
    DatabaseResult DeletePersonnelEntry(std::string_view code);
    DatabaseResult DeleteAllPersonnelEntries();

private:
    PersonnelLookup lookup(std::string_view sql, int column, std::string_view code);
    DatabaseResult modify(std::string_view sql, std::initializer_list<std::string_view> values);

    std::shared_ptr<const SqliteLibrary> sqlite_;
    sqlite3* db_ = nullptr;
};

} // namespace pelvaro
