#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace pelvaro {

class SqliteLibrary;
struct ServerPersonnelRow;
struct CacheCalls; // the SQLite entry points the cache calls

// A PC's db_Personal.sqlite as the copy of the server's table, written through
// a connection of its own. The table t_card_personal keeps its schema; the
// file's header says that it is a server's copy (application_id) and when it
// last held exactly the server's table (user_version), both written in the
// transaction that writes the rows. The file is in WAL mode, so the program's
// lookups read the last committed table while a write goes on and never meet
// a lock. Not thread-safe: one thread uses it.
class PersonnelCache {
public:
    using Clock = std::chrono::system_clock;

    // Opens (and creates) the file and its table; nothing, with a German
    // problem text, when that fails.
    static std::unique_ptr<PersonnelCache> open(std::shared_ptr<const SqliteLibrary> sqlite,
                                                const std::filesystem::path& file,
                                                std::string& problem);
    ~PersonnelCache();
    PersonnelCache(const PersonnelCache&) = delete;
    PersonnelCache& operator=(const PersonnelCache&) = delete;

    // Nothing while the file is still the PC's own table.
    std::optional<Clock::time_point> asOf() const;

    // Each returns a German problem text, empty when the rows are written.
    // Replaces every row by the server's. The first time, the PC's own table,
    // if it holds rows, is kept as kLocalPersonnelTableFile beside the file
    // (an existing one is never overwritten); without that, nothing is written.
    std::string fill(const std::vector<ServerPersonnelRow>& rows);
    // One card as the server holds it now: its row, or nothing when deleted.
    std::string apply(std::string_view cardCode, const std::optional<ServerPersonnelRow>& row);

private:
    PersonnelCache(std::shared_ptr<const SqliteLibrary> sqlite,
                   std::unique_ptr<const CacheCalls> calls, std::filesystem::path file,
                   sqlite3* db);
    template <typename Write> std::string inTransaction(Write&& write);
    std::string keepOwnTable();
    std::optional<long long> integer(const char* sql) const;
    std::string failure(int code) const;

    std::shared_ptr<const SqliteLibrary> sqlite_;
    std::unique_ptr<const CacheCalls> calls_;
    std::filesystem::path file_;
    sqlite3* db_;
};

} // namespace pelvaro
