// Two PCs, each with a cache of its own kept by a sync thread, on one real
// PostgreSQL server; changes made by psql as a third client.

#include "personnel/server/PersonnelSync.h"

#include "personnel/PersonnelDatabase.h"
#include "personnel/SqliteLibrary.h"
#include "personnel/server/PersonnelServer.h"
#include "personnel/server/PqLibrary.h"
#include "tests/personnel/SqliteTool.h"
#include "tests/support/Polling.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::PostgresServer;
using test::waitFor;

// A change at one PC reaches every other PC's lookups within this.
constexpr auto kAnnounced = 2s;
// Reconnecting after the pauses that a short absence causes.
constexpr auto kReconnected = 20s;

// A PC: its program directory with the cache, the sync, and the program's
// own connection for lookups.
class Pc {
public:
    Pc(const PostgresServer& server, const std::string& name) : server_(server), name_(name) {
        test::placeSqliteLibrary(dir_.path());
        sqlite_ = BindSqliteLibrary(dir_.path()).library;
    }

    void start() {
        sync_ =
            std::make_unique<PersonnelSync>(BindPqLibrary(dir_.path()).library, sqlite_,
                                            PersonnelSync::Settings{server_.uri(), name_, cache()});
        sync_->setListener([this](const PersonnelSyncState&) { ++changes; });
        sync_->start();
        if (!lookups_) {
            lookups_ = std::make_unique<PersonnelDatabase>(sqlite_);
            lookups_->OpenPersonnelDatabase(dir_.path());
        }
    }
    void stop() { sync_.reset(); }

    std::optional<std::string> lookup(const std::string& card) {
        return lookups_->LookupPersonnelNumber(card).personnelNumber;
    }
    // The number the cache holds for the card within the time (nothing: gone).
    bool holds(const std::string& card, const std::optional<std::string>& number,
               std::chrono::milliseconds within = kAnnounced) {
        return waitFor([&] { return lookup(card) == number; }, within);
    }
    bool connected(std::chrono::milliseconds within = kReconnected) {
        return waitFor([&] { return sync_->state().connected; }, within);
    }
    PersonnelSync& sync() { return *sync_; }
    PersonnelDatabase& lookups() { return *lookups_; }
    std::filesystem::path cache() const { return dir_.path() / kPersonnelDatabaseFile; }
    std::filesystem::path directory() const { return dir_.path(); }

    std::atomic<int> changes{0}; // the listener's calls

private:
    const PostgresServer& server_;
    std::string name_;
    test::TempDir dir_;
    std::shared_ptr<const SqliteLibrary> sqlite_;
    std::unique_ptr<PersonnelDatabase> lookups_;
    std::unique_ptr<PersonnelSync> sync_;
};

class PersonnelSyncTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new PostgresServer;
        setenv("PGPASSFILE", server->pgpassFile().c_str(), 1);
        server->psql(serverSchemaSql(), PostgresServer::kOwner);
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server->running());
        server->psql("TRUNCATE pelvaro_personnel");
    }
    static void runSql(const std::string& sql) { server->psql(sql); }
    static void startAll(std::initializer_list<Pc*> pcs) {
        for (Pc* pc : pcs)
            pc->start();
        for (Pc* pc : pcs)
            ASSERT_TRUE(pc->connected()) << pc->sync().state().problem;
    }

    static PostgresServer* server;
};
PostgresServer* PersonnelSyncTest::server = nullptr;

TEST_F(PersonnelSyncTest, ChangesByAnyClientReachEveryCacheWithinTwoSeconds) {
    runSql("INSERT INTO pelvaro_personnel(cardcode, persnum, changed_by) VALUES ('00000000A1', "
           "'100', 'psql')");
    Pc first(*server, "PC1"), second(*server, "PC2");
    ASSERT_NO_FATAL_FAILURE(startAll({&first, &second}));
    for (Pc* pc : {&first, &second}) {
        EXPECT_EQ(pc->lookup("00000000A1"), "100") << "the first fill";
        EXPECT_TRUE(pc->sync().state().problem.empty());
        EXPECT_TRUE(pc->sync().state().cacheAsOf);
    }

    const auto reachesBoth = [&](const std::string& card,
                                 const std::optional<std::string>& number) {
        return first.holds(card, number) && second.holds(card, number);
    };
    runSql("INSERT INTO pelvaro_personnel(cardcode, persnum, changed_by) VALUES ('00000000B2', "
           "'200', 'psql')");
    EXPECT_TRUE(reachesBoth("00000000B2", "200")) << "an insert";
    runSql("UPDATE pelvaro_personnel SET persnum = '201' WHERE cardcode = '00000000B2'");
    EXPECT_TRUE(reachesBoth("00000000B2", "201")) << "an update";
    runSql("DELETE FROM pelvaro_personnel WHERE cardcode = '00000000A1'");
    EXPECT_TRUE(reachesBoth("00000000A1", std::nullopt)) << "a delete";
    runSql("TRUNCATE pelvaro_personnel");
    EXPECT_TRUE(reachesBoth("00000000B2", std::nullopt)) << "the table emptied";
}

// The program's connection reads with five busy tries 2 ms apart and then
// takes the card as unknown; fills of a large table must never cause that.
TEST_F(PersonnelSyncTest, LookupsDuringFillsNeverMissACard) {
    runSql("INSERT INTO pelvaro_personnel(cardcode, persnum, changed_by) SELECT lpad(to_hex(i), "
           "10, '0'), i::text, 'psql' FROM generate_series(1, 5000) AS i");
    Pc pc(*server, "PC1");
    pc.start();
    ASSERT_TRUE(pc.connected());
    int lookups = 0;
    for (int fill = 0; fill < 20; ++fill) {
        const int before = pc.changes;
        pc.sync().catchUp();
        const auto deadline = std::chrono::steady_clock::now() + kAnnounced;
        while (pc.changes == before) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no fill";
            const PersonnelLookup found = pc.lookups().LookupPersonnelNumber("0000000fa0");
            ASSERT_TRUE(found.result.ok()) << found.result.failure;
            ASSERT_EQ(found.personnelNumber, "4000") << "after " << lookups << " lookups";
            ++lookups;
        }
    }
    EXPECT_GT(lookups, 20);
    EXPECT_EQ(test::runSqliteTool(pc.cache(), {"PRAGMA journal_mode"}),
              std::vector<std::string>{"wal"});
}

TEST_F(PersonnelSyncTest, ServerAwayLeavesEveryRowAndCatchUpBringsWhatChangedMeanwhile) {
    runSql("INSERT INTO pelvaro_personnel(cardcode, persnum, changed_by) VALUES ('00000000C1', "
           "'300', 'psql'), ('00000000C2', '301', 'psql')");
    Pc first(*server, "PC1"), second(*server, "PC2");
    ASSERT_NO_FATAL_FAILURE(startAll({&first, &second}));

    server->stop();
    for (Pc* pc : {&first, &second}) {
        ASSERT_TRUE(waitFor([&] { return !pc->sync().state().connected; }, 5s));
        const PersonnelSyncState offline = pc->sync().state();
        EXPECT_FALSE(offline.problem.empty());
        EXPECT_TRUE(offline.cacheAsOf) << "the cache stays the server's copy";
        EXPECT_EQ(pc->lookup("00000000C1"), "300");
        EXPECT_EQ(pc->lookup("00000000C2"), "301");
    }
    server->start();
    ASSERT_TRUE(first.connected());
    ASSERT_TRUE(second.connected());

    // The first PC cannot log in while the third client changes the table;
    // only its catch-up can bring the changes.
    runSql("ALTER ROLE pelvaro NOLOGIN");
    runSql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name <> "
           "'psql' AND usename = 'pelvaro'");
    ASSERT_TRUE(waitFor([&] { return !first.sync().state().connected; }, 5s));
    runSql("UPDATE pelvaro_personnel SET persnum = '310' WHERE cardcode = '00000000C1'");
    runSql("DELETE FROM pelvaro_personnel WHERE cardcode = '00000000C2'");
    runSql("INSERT INTO pelvaro_personnel(cardcode, persnum, changed_by) VALUES ('00000000C3', "
           "'320', 'psql')");
    runSql("ALTER ROLE pelvaro LOGIN");
    for (Pc* pc : {&first, &second}) {
        EXPECT_TRUE(pc->holds("00000000C1", "310", kReconnected));
        EXPECT_TRUE(pc->holds("00000000C2", std::nullopt, kReconnected));
        EXPECT_TRUE(pc->holds("00000000C3", "320", kReconnected));
    }
    EXPECT_TRUE(first.connected());
}

TEST_F(PersonnelSyncTest, PcsOwnTableIsKeptBeforeTheFirstFill) {
    runSql("INSERT INTO pelvaro_personnel(cardcode, persnum, changed_by) VALUES ('00000000D1', "
           "'400', 'psql')");
    Pc pc(*server, "PC1");
    {
        PersonnelDatabase own(BindSqliteLibrary(pc.directory()).library);
        ASSERT_TRUE(own.OpenPersonnelDatabase(pc.directory()).ok());
        ASSERT_TRUE(own.InsertPersonnelEntry("00000000E1", "mine").ok());
    }
    pc.start();
    ASSERT_TRUE(pc.connected());
    ASSERT_TRUE(pc.holds("00000000D1", "400"));
    EXPECT_EQ(pc.lookup("00000000E1"), std::nullopt) << "the cache holds the server's rows only";
    const auto kept = pc.directory() / kLocalPersonnelTableFile;
    EXPECT_EQ(test::runSqliteTool(kept, {"SELECT * FROM t_card_personal"}),
              std::vector<std::string>{"00000000E1|mine"});

    // A cache is never taken for the PC's own table again.
    pc.stop();
    std::filesystem::remove(kept);
    pc.start();
    ASSERT_TRUE(pc.connected());
    EXPECT_TRUE(pc.sync().state().cacheAsOf);
    EXPECT_FALSE(std::filesystem::exists(kept));
}

} // namespace
} // namespace pelvaro
