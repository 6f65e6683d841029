#pragma once

#include "personnel/server/PersonnelServer.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

class PersonnelDatabase;

// One row of the personnel table as the grid shows it, in UTF-8.
struct PersonnelRow {
    std::string cardCode;
    std::string personnelNumber;
    // The server's time of the row's last change, which an edit of the row
    // names; empty for a row of the PC's own table.
    std::string changedAt;

    bool operator==(const PersonnelRow&) const = default;
};

// How a call to the store ended, and for the user what to show when it failed.
struct StoreResult {
    enum class Outcome {
        Done,
        DatabaseFailure,  // the PC's own table failed: its fixed text
        ChangedElsewhere, // the row changed on the server since it was shown
        ServerFailure,    // the server is away, refused or failed: nothing was changed
    };
    Outcome outcome = Outcome::Done;
    std::string message; // German; empty when Done

    bool ok() const { return outcome == Outcome::Done; }
};

struct StoreLookup {
    StoreResult result;
    std::optional<PersonnelRow> row; // the card's row, if the store holds it
};

// What moving the PC's own table to the server ended with.
struct StoreUpload {
    StoreResult result;
    std::string report; // when Done, German: what was added, replaced and kept
};

// Where the personnel-number mode reads and edits the table: the PC's own
// database file, or the server's table.
class PersonnelStore {
public:
    using AskConflict = std::function<UploadChoice(const UploadConflict&)>;

    virtual ~PersonnelStore() = default;

    // Done while the table may be edited; otherwise why not.
    virtual StoreResult editable() = 0;
    // The whole table; a failed read gives the rows read before it.
    virtual std::vector<PersonnelRow> readAll() = 0;
    virtual StoreLookup find(std::string_view cardCode) = 0;
    // Stores the number for a card just read: a new row, or over the row
    // found for it.
    virtual StoreResult put(std::string_view cardCode, std::string_view personnelNumber,
                            const std::optional<PersonnelRow>& found) = 0;
    // Changes and deletes a row as the grid showed it.
    virtual StoreResult change(const PersonnelRow& row, std::string_view personnelNumber) = 0;
    virtual StoreResult remove(const PersonnelRow& row) = 0;
    virtual StoreResult removeAll() = 0;
    // Moves the PC's own table to the server, asking about each card the
    // server holds with another number.
    virtual StoreUpload upload(const AskConflict& ask) = 0;
};

// The table in the PC's own db_Personal.sqlite, with its fixed failure texts.
class LocalPersonnelStore final : public PersonnelStore {
public:
    explicit LocalPersonnelStore(PersonnelDatabase& database) : database_(database) {}

    StoreResult editable() override { return {}; }
    std::vector<PersonnelRow> readAll() override;
    StoreLookup find(std::string_view cardCode) override;
    StoreResult put(std::string_view cardCode, std::string_view personnelNumber,
                    const std::optional<PersonnelRow>& found) override;
    StoreResult change(const PersonnelRow& row, std::string_view personnelNumber) override;
    StoreResult remove(const PersonnelRow& row) override;
    StoreResult removeAll() override;
    StoreUpload upload(const AskConflict& ask) override;

private:
    PersonnelDatabase& database_;
};

} // namespace pelvaro
