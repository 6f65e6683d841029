#include "personnel/ServerPersonnelStore.h"

#include "personnel/PersonnelDatabase.h"
#include "text/PathText.h"

#include <algorithm>

namespace pelvaro {

namespace {

const char kOffline[] = "Der Personalnummern-Server ist nicht erreichbar; es wurde nichts geändert.\n"
                        "Die Liste zeigt die Kopie dieses PCs und kann erst wieder bearbeitet "
                        "werden, wenn der Server erreichbar ist.";
const char kChangedElsewhere[] = "Der Eintrag wurde inzwischen an einem anderen Platz geändert "
                                 "und nicht überschrieben.\n"
                                 "Die Liste zeigt jetzt den aktuellen Eintrag.";

StoreResult storeResult(const ServerResult& result) {
    switch (result.outcome) {
    case ServerResult::Outcome::Done:
        return {};
    case ServerResult::Outcome::Changed:
        return {StoreResult::Outcome::ChangedElsewhere, kChangedElsewhere};
    case ServerResult::Outcome::Unreachable:
        return {StoreResult::Outcome::ServerFailure, kOffline};
    case ServerResult::Outcome::Refused:
    case ServerResult::Outcome::Failed:
        break;
    }
    return {StoreResult::Outcome::ServerFailure, result.message};
}

PersonnelRow gridRow(ServerPersonnelRow&& row) {
    return {std::move(row.cardCode), std::move(row.personnelNumber), std::move(row.changedAt)};
}

std::string uploadReport(const UploadReport& report) {
    return "Die Personalnummern dieses PCs sind auf den Server übertragen:\n" +
           std::to_string(report.added) + " Karten neu hinzugefügt,\n" +
           std::to_string(report.replaced) + " durch die Nummer dieses PCs ersetzt,\n" +
           std::to_string(report.kept) + " mit der Nummer des Servers belassen,\n" +
           std::to_string(report.same) + " waren schon gleich.";
}

} // namespace

ServerPersonnelStore::ServerPersonnelStore(PersonnelServer& server, PersonnelDatabase& cache,
                                           std::function<bool()> connected,
                                           std::function<void()> edited)
    : server_(server), cache_(cache), connected_(std::move(connected)), edited_(std::move(edited)) {}

StoreResult ServerPersonnelStore::editable() {
    if (showingServer_ && connected_())
        return {};
    return {StoreResult::Outcome::ServerFailure, kOffline};
}

std::vector<PersonnelRow> ServerPersonnelStore::readAll() {
    showingServer_ = false;
    if (!connected_())
        return readCache();
    ServerResult result;
    std::optional<std::vector<ServerPersonnelRow>> table = server_.readAll(result);
    if (!table)
        return readCache();
    showingServer_ = true;
    std::vector<PersonnelRow> rows;
    for (ServerPersonnelRow& row : *table)
        rows.push_back(gridRow(std::move(row)));
    return rows;
}

std::vector<PersonnelRow> ServerPersonnelStore::readCache() {
    std::vector<PersonnelRow> rows;
    for (PersonnelEntry& entry : cache_.ReadPersonnelTable().entries)
        rows.push_back({std::move(entry.cardCode), std::move(entry.personnelNumber), {}});
    std::ranges::sort(rows, {}, &PersonnelRow::cardCode);
    return rows;
}

StoreLookup ServerPersonnelStore::find(std::string_view cardCode) {
    ServerResult result;
    std::optional<ServerPersonnelRow> row = server_.find(cardCode, result);
    StoreLookup found{storeResult(result), std::nullopt};
    if (found.result.ok() && row)
        found.row = gridRow(std::move(*row));
    return found;
}

StoreResult ServerPersonnelStore::finished(const ServerResult& result) {
    if (result.ok() && edited_)
        edited_();
    return storeResult(result);
}

StoreResult ServerPersonnelStore::put(std::string_view cardCode, std::string_view personnelNumber,
                                      const std::optional<PersonnelRow>& found) {
    return finished(found ? server_.update(cardCode, personnelNumber, found->changedAt)
                          : server_.insert(cardCode, personnelNumber));
}

StoreResult ServerPersonnelStore::change(const PersonnelRow& row,
                                         std::string_view personnelNumber) {
    return finished(server_.update(row.cardCode, personnelNumber, row.changedAt));
}

StoreResult ServerPersonnelStore::remove(const PersonnelRow& row) {
    return finished(server_.remove(row.cardCode, row.changedAt));
}

StoreResult ServerPersonnelStore::removeAll() { return finished(server_.removeAll()); }

StoreUpload ServerPersonnelStore::upload(const AskConflict& ask) {
    const std::filesystem::path file = cache_.file().parent_path() / kLocalPersonnelTableFile;
    std::vector<ServerPersonnelRow> rows;
    if (std::error_code missing; std::filesystem::exists(file, missing)) {
        PersonnelDatabase own(cache_.library());
        DatabaseResult read = own.OpenPersonnelDatabaseFile(file);
        PersonnelTable table;
        if (read.ok()) {
            table = own.ReadPersonnelTable();
            read = table.result;
        }
        // Half a table is not moved.
        if (!read.ok())
            return {{StoreResult::Outcome::DatabaseFailure,
                     "Die Personalnummern dieses PCs in " + Utf8Path(file) +
                         " können nicht gelesen werden: " + read.failure},
                    {}};
        for (PersonnelEntry& entry : table.entries)
            rows.push_back({std::move(entry.cardCode), std::move(entry.personnelNumber), {}, {}});
    }
    if (rows.empty())
        return {{},
                "Dieser PC hat keine eigenen Personalnummern; es gibt nichts auf den Server zu "
                "übertragen."};
    bool cancelled = false;
    const UploadReport report = server_.upload(rows, [&](const UploadConflict& conflict) {
        const UploadChoice choice = ask(conflict);
        cancelled = choice == UploadChoice::Cancel;
        return choice;
    });
    if (cancelled)
        return {{}, "Die Übertragung ist abgebrochen; auf dem Server wurde nichts geändert."};
    // A card deleted on the server meanwhile changes no row shown here: the
    // server's own words say to try again.
    if (report.result.outcome == ServerResult::Outcome::Changed)
        return {{StoreResult::Outcome::ServerFailure, report.result.message}, {}};
    const StoreResult result = finished(report.result);
    return {result, result.ok() ? uploadReport(report) : std::string()};
}

} // namespace pelvaro
