#pragma once

#include "personnel/PersonnelStore.h"

namespace pelvaro {

// The server's table, edited on the server; while the server cannot be
// reached the PC's cache (db_Personal.sqlite) is shown read-only. Used on the
// GUI thread: a call waits for the connect timeout at most.
class ServerPersonnelStore final : public PersonnelStore {
public:
    // connected: whether the cache's sync holds its connection to the server;
    // edited: called after every change made here, to catch the cache up.
    ServerPersonnelStore(PersonnelServer& server, PersonnelDatabase& cache,
                         std::function<bool()> connected, std::function<void()> edited = {});

    StoreResult editable() override;
    // The server's table ordered by card code, or else the cache's.
    std::vector<PersonnelRow> readAll() override;
    StoreLookup find(std::string_view cardCode) override;
    StoreResult put(std::string_view cardCode, std::string_view personnelNumber,
                    const std::optional<PersonnelRow>& found) override;
    StoreResult change(const PersonnelRow& row, std::string_view personnelNumber) override;
    StoreResult remove(const PersonnelRow& row) override;
    StoreResult removeAll() override;
    // The PC's own table, kLocalPersonnelTableFile beside the cache.
    StoreUpload upload(const AskConflict& ask) override;

private:
    std::vector<PersonnelRow> readCache();
    StoreResult finished(const ServerResult& result);

    PersonnelServer& server_;
    PersonnelDatabase& cache_;
    std::function<bool()> connected_;
    std::function<void()> edited_;
    // Whether the last read came from the server: rows of the cache carry no
    // time of change to edit them by.
    bool showingServer_ = false;
};

} // namespace pelvaro
