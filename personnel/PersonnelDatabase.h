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

// What a lookup of one card code found.
struct PersonnelLookup {
    enum class Outcome { Found, NotFound, Failed };

    Outcome outcome = Outcome::NotFound;
    // The personnel number when found (possibly empty); the failure text when
    // failed: "SQL prepare error", "SQL SELECT error", "SQL MISUSE error" or
    // "Unexpected return from sqlite3_step".
    std::string text;
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
    // One of the failure texts of PersonnelLookup, if the query failed.
    std::optional<std::string> failure;
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
    // once. Returns the text to show under "Error" if anything failed: "Error
    // opening database, <code>." leaves the database closed (the personnel
    // features go off); the CREATE TABLE statement's own text leaves it open.
    std::optional<std::string> OpenPersonnelDatabase(const std::filesystem::path& directory);
    // Returns "Error closing database, <code>." to show under "Error" if closing
    // failed. The database counts as closed afterwards in either case.
    std::optional<std::string> ClosePersonnelDatabase();
    bool isOpen() const { return db_ != nullptr; }

    // The personnel number stored for a code.
    PersonnelLookup LookupPersonnelNumber(std::string_view code);
    // The entry for a code, by the query of the editing mode; found gives its number.
    PersonnelLookup FindPersonnelEntry(std::string_view code);
    // Every row of the table, for the grid.
    PersonnelTable ReadPersonnelTable();

    // Each returns SQLite's result code, 0 on success.
    int InsertPersonnelEntry(std::string_view code, std::string_view personnelNumber);
    int UpdatePersonnelEntry(std::string_view code, std::string_view personnelNumber);
    int DeletePersonnelEntry(std::string_view code);
    int DeleteAllPersonnelEntries();

private:
    PersonnelLookup lookup(std::string_view sql, int column, std::string_view code);
    int modify(std::string_view sql, std::initializer_list<std::string_view> values);

    std::shared_ptr<const SqliteLibrary> sqlite_;
    sqlite3* db_ = nullptr;
};

} // namespace pelvaro
