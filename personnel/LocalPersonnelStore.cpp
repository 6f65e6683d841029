#include "personnel/PersonnelDatabase.h"
#include "personnel/PersonnelStore.h"

namespace pelvaro {

namespace {

StoreResult failedWith(const DatabaseResult& result, const std::string& text) {
    if (result.ok())
        return {};
    return {StoreResult::Outcome::DatabaseFailure, text};
}

} // namespace

std::vector<PersonnelRow> LocalPersonnelStore::readAll() {
    // A failed query shows the rows read before it, and nothing else.
    std::vector<PersonnelRow> rows;
    for (PersonnelEntry& entry : database_.ReadPersonnelTable().entries)
        rows.push_back({std::move(entry.cardCode), std::move(entry.personnelNumber), {}});
    return rows;
}

StoreLookup LocalPersonnelStore::find(std::string_view cardCode) {
    const PersonnelLookup entry = database_.FindPersonnelEntry(cardCode);
    StoreLookup found{failedWith(entry.result, "Datenbank Fehler: '" + entry.result.failure + "'"),
                      std::nullopt};
    if (entry.personnelNumber)
        found.row = PersonnelRow{std::string(cardCode), *entry.personnelNumber, {}};
    return found;
}

StoreResult LocalPersonnelStore::put(std::string_view cardCode, std::string_view personnelNumber,
                                     const std::optional<PersonnelRow>& found) {
    const DatabaseResult result = found
                                      ? database_.UpdatePersonnelEntry(cardCode, personnelNumber)
                                      : database_.InsertPersonnelEntry(cardCode, personnelNumber);
    return failedWith(result, "SQLite exec insert card");
}

StoreResult LocalPersonnelStore::change(const PersonnelRow& row,
                                        std::string_view personnelNumber) {
    const DatabaseResult result = database_.UpdatePersonnelEntry(row.cardCode, personnelNumber);
    return failedWith(result, "SQLite exec update card: " + std::to_string(result.code));
}

StoreResult LocalPersonnelStore::remove(const PersonnelRow& row) {
    const DatabaseResult result = database_.DeletePersonnelEntry(row.cardCode);
    return failedWith(result, "SQLite exec delete card: " + std::to_string(result.code));
}

StoreResult LocalPersonnelStore::removeAll() {
    const DatabaseResult result = database_.DeleteAllPersonnelEntries();
    return failedWith(result, "SQLite exec delete cards: " + std::to_string(result.code));
}

StoreUpload LocalPersonnelStore::upload(const AskConflict&) {
    return {{}, "Es ist kein Personalnummern-Server eingestellt; es gibt nichts zu übertragen."};
}

} // namespace pelvaro
