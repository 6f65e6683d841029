#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pelvaro {

class PqLibrary;
class SqliteLibrary;

// Where the cache stands, for the personnel page and the tools.
struct PersonnelSyncState {
    bool connected = false;
    // When the cache last held exactly the server's table; nothing before
    // the first fill.
    std::optional<std::chrono::system_clock::time_point> cacheAsOf;
    // Why the server cannot be reached or the cache not kept, German; empty
    // while all is well.
    std::string problem;

    bool operator==(const PersonnelSyncState&) const = default;
};

// Keeps a PC's db_Personal.sqlite a copy of the server's table, on a thread of
// its own with a connection of its own: a complete fill at the first
// connection and after every reconnection, then every change the server
// announces, each written in one transaction, so that lookups through the
// program's own connection always find a whole table and never wait for the
// network. Tries again, with growing pauses, while the server is away.
class PersonnelSync {
public:
    struct Settings {
        std::string uri;     // the libpq connection URI
        std::string station; // changed_by for what this PC writes
        std::filesystem::path cacheFile; // the PC's db_Personal.sqlite
    };

    PersonnelSync(std::shared_ptr<const PqLibrary> pq, std::shared_ptr<const SqliteLibrary> sqlite,
                  Settings settings);
    // Stops the thread; the cache stays as it is.
    ~PersonnelSync();
    PersonnelSync(const PersonnelSync&) = delete;
    PersonnelSync& operator=(const PersonnelSync&) = delete;

    void start();
    PersonnelSyncState state() const; // from any thread
    // Called on the sync thread whenever the state or the cache changes.
    void setListener(std::function<void(const PersonnelSyncState&)> listener);
    // After an edit made here: read the server again now, rather than wait
    // for its announcement.
    void catchUp();

private:
    struct Worker;
    std::unique_ptr<Worker> worker_;
};

} // namespace pelvaro
