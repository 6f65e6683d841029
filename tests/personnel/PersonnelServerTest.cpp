#include "personnel/server/PersonnelServer.h"
#include "personnel/server/PqLibrary.h"
#include "tests/support/Polling.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using Outcome = ServerResult::Outcome;
using test::PostgresServer;

// One server for the suite; every test starts without the table.
class PersonnelServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new PostgresServer;
        setenv("PGPASSFILE", server_->pgpassFile().c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(pq_.library) << pq_.unavailable;
        if (!server_->running())
            server_->start();
        server_->psql("DROP TABLE IF EXISTS pelvaro_personnel");
    }

    PersonnelServer connection(const std::string& user = PostgresServer::kOwner,
                               const std::string& uriSuffix = "") {
        return PersonnelServer(pq_.library, server_->uri(user) + uriSuffix, "PC-" + user);
    }
    static std::vector<std::string> psql(const std::string& sql,
                                         const std::string& user = PostgresServer::kAdmin) {
        return server_->psql(sql, user);
    }
    // The announcements until count have come, or time is up.
    static std::vector<std::string> announcements(PersonnelServer& listener, size_t count) {
        std::vector<std::string> all;
        test::pollEvery(
            [&] {
                ServerResult result;
                for (std::string& card : listener.takeAnnouncements(result))
                    all.push_back(std::move(card));
                EXPECT_TRUE(result.ok()) << result.message;
                return all.size() >= count || !result.ok();
            },
            std::chrono::milliseconds(20), test::kPatience);
        return all;
    }
    static ServerPersonnelRow rowOf(PersonnelServer& server, const std::string& card) {
        ServerResult result;
        const auto row = server.find(card, result);
        EXPECT_TRUE(result.ok()) << result.message;
        return row.value_or(ServerPersonnelRow{});
    }

    static inline PostgresServer* server_ = nullptr;
    PqBinding pq_ = BindPqLibrary(std::filesystem::path());
};

TEST_F(PersonnelServerTest, OwnersFirstConnectCompletesATableMadeByHandAndEveryChangeIsAnnounced) {
    psql("CREATE TABLE pelvaro_personnel (cardcode varchar(50) PRIMARY KEY, persnum varchar(50) "
         "NOT NULL, changed_at timestamptz NOT NULL, changed_by text NOT NULL)",
         PostgresServer::kOwner);
    psql("INSERT INTO pelvaro_personnel VALUES ('K0', '7', now(), 'HR')");
    // The reader may not add the triggers; the owner may.
    const ServerResult refused = connection(PostgresServer::kReader).connect();
    EXPECT_EQ(refused.outcome, Outcome::Refused);
    EXPECT_NE(refused.message.find("Eigentümer"), std::string::npos) << refused.message;
    PersonnelServer listener = connection();
    ASSERT_TRUE(listener.connect().ok());
    // Made again by an administrator's script: nothing breaks, nothing is lost.
    psql(serverSchemaSql());
    EXPECT_EQ(rowOf(listener, "K0").personnelNumber, "7");
    ASSERT_TRUE(listener.listen().ok());
    EXPECT_NE(listener.socket(), -1);

    // Changes by a third client, as an HR script makes them.
    psql("INSERT INTO pelvaro_personnel (cardcode, persnum) VALUES ('K1', '100')", "pelvaro");
    psql("UPDATE pelvaro_personnel SET persnum = '101' WHERE cardcode = 'K1'");
    psql("UPDATE pelvaro_personnel SET cardcode = 'K2' WHERE cardcode = 'K1'");
    psql("DELETE FROM pelvaro_personnel WHERE cardcode = 'K2'");
    psql("TRUNCATE pelvaro_personnel");
    EXPECT_EQ(announcements(listener, 6),
              (std::vector<std::string>{"K1", "K1", "K1", "K2", "K2", ""}));

    // A script's row gets its stamp and author from the defaults.
    psql("INSERT INTO pelvaro_personnel (cardcode, persnum) VALUES ('K3', '300')", "pelvaro");
    const ServerPersonnelRow row = rowOf(listener, "K3");
    EXPECT_EQ(row.personnelNumber, "300");
    EXPECT_EQ(row.changedBy, "pelvaro");
    EXPECT_FALSE(row.changedAt.empty());
}

TEST_F(PersonnelServerTest, EditsOfARowChangedSinceItWasShownEndAsChangedAndChangeNothing) {
    PersonnelServer pc = connection();
    ASSERT_TRUE(pc.insert("K1", "100").ok());
    const ServerPersonnelRow shown = rowOf(pc, "K1");
    EXPECT_EQ(shown.changedBy, "PC-pelvaro");

    psql("UPDATE pelvaro_personnel SET persnum = '200' WHERE cardcode = 'K1'");
    EXPECT_EQ(pc.update("K1", "300", shown.changedAt).outcome, Outcome::Changed);
    EXPECT_EQ(pc.remove("K1", shown.changedAt).outcome, Outcome::Changed);
    EXPECT_EQ(pc.insert("K1", "400").outcome, Outcome::Changed);
    EXPECT_EQ(rowOf(pc, "K1").personnelNumber, "200");

    // The current stamp, as read, names the row exactly.
    const ServerPersonnelRow current = rowOf(pc, "K1");
    ASSERT_TRUE(pc.update("K1", "500", current.changedAt).ok());
    EXPECT_EQ(rowOf(pc, "K1").personnelNumber, "500");
    ASSERT_TRUE(pc.remove("K1", rowOf(pc, "K1").changedAt).ok());
    EXPECT_EQ(pc.remove("K1", current.changedAt).outcome, Outcome::Changed);

    // Values are never part of the statement.
    ASSERT_TRUE(pc.insert("K'; DROP TABLE pelvaro_personnel; --", "1").ok());
    ASSERT_TRUE(pc.insert("K2", "2").ok());
    ASSERT_TRUE(pc.removeAll().ok());
    ServerResult result;
    EXPECT_EQ(pc.readAll(result), std::vector<ServerPersonnelRow>{});
    EXPECT_TRUE(result.ok()) << result.message;
}

TEST_F(PersonnelServerTest, UploadAsksPerConflictOrForAllAndCancelChangesNothing) {
    PersonnelServer pc = connection();
    for (const char* card : {"K1", "K2", "K3", "K4"})
        ASSERT_TRUE(pc.insert(card, std::string("1") + card).ok());
    const std::vector<ServerPersonnelRow> local = {
        {"K1", "1K1", "", ""}, {"K2", "local2", "", ""}, {"K3", "local3", "", ""},
        {"K4", "local4", "", ""}, {"K5", "local5", "", ""}};
    ServerResult result;
    const auto before = pc.readAll(result);

    std::vector<std::string> asked;
    const UploadReport cancelled = pc.upload(local, [&](const UploadConflict& conflict) {
        asked.push_back(conflict.cardCode + ":" + conflict.localNumber + ":" + conflict.serverNumber);
        return asked.size() == 1 ? UploadChoice::TakeLocal : UploadChoice::Cancel;
    });
    EXPECT_FALSE(cancelled.result.ok());
    EXPECT_EQ(cancelled.replaced, 0);
    EXPECT_EQ(asked, (std::vector<std::string>{"K2:local2:1K2", "K3:local3:1K3"}));
    EXPECT_EQ(pc.readAll(result), before);

    asked.clear();
    const UploadReport moved = pc.upload(local, [&](const UploadConflict& conflict) {
        asked.push_back(conflict.cardCode);
        return asked.size() == 1 ? UploadChoice::TakeLocal : UploadChoice::KeepServerForAll;
    });
    ASSERT_TRUE(moved.result.ok()) << moved.result.message;
    EXPECT_EQ(asked, (std::vector<std::string>{"K2", "K3"}));
    EXPECT_EQ(moved.added, 1);
    EXPECT_EQ(moved.replaced, 1);
    EXPECT_EQ(moved.kept, 2);
    EXPECT_EQ(moved.same, 1);
    EXPECT_EQ(psql("SELECT cardcode || '=' || persnum FROM pelvaro_personnel ORDER BY cardcode"),
              (std::vector<std::string>{"K1=1K1", "K2=local2", "K3=1K3", "K4=1K4", "K5=local5"}));
}

TEST_F(PersonnelServerTest, TheReaderIsToldWhichRightIsMissing) {
    PersonnelServer reader = connection(PostgresServer::kReader);
    const ServerResult refused = reader.connect();
    EXPECT_EQ(refused.outcome, Outcome::Refused);
    EXPECT_NE(refused.message.find("CREATE auf das Schema public"), std::string::npos)
        << refused.message;
    EXPECT_NE(refused.message.find("pelvaro --server-schema"), std::string::npos);
    EXPECT_EQ(psql("SELECT to_regclass('pelvaro_personnel') IS NULL"),
              std::vector<std::string>{"t"});

    PersonnelServer owner = connection();
    ASSERT_TRUE(owner.insert("K1", "100").ok());
    psql("GRANT SELECT ON pelvaro_personnel TO leser", PostgresServer::kOwner);
    const ServerCheck check = reader.check();
    ASSERT_TRUE(check.result.ok()) << check.result.message;
    EXPECT_EQ(check.rows, 1);
    EXPECT_FALSE(check.mayEdit);
    EXPECT_TRUE(owner.check().mayEdit);
    const ServerResult insert = reader.insert("K2", "200");
    EXPECT_EQ(insert.outcome, Outcome::Refused);
    EXPECT_NE(insert.message.find("Recht INSERT"), std::string::npos) << insert.message;
    EXPECT_EQ(rowOf(reader, "K1").personnelNumber, "100");
}

TEST_F(PersonnelServerTest, AFailedLoginSaysWhy) {
    test::TempDir folder;
    std::ofstream(folder.path() / "wrong") << "*:*:*:pelvaro:falsch\n";
    std::ofstream(folder.path() / "none") << "*:*:*:jemand:Geheim-123\n";
    for (const char* file : {"wrong", "none"})
        std::filesystem::permissions(folder.path() / file, std::filesystem::perms::owner_read);
    const auto fails = [&](const std::string& uriSuffix, Outcome outcome, const char* text) {
        PersonnelServer pc = connection(PostgresServer::kOwner, uriSuffix);
        const ServerResult result = pc.connect();
        EXPECT_EQ(result.outcome, outcome) << result.message;
        EXPECT_NE(result.message.find(text), std::string::npos) << result.message;
        EXPECT_FALSE(pc.connected());
    };
    fails("&passfile=" + (folder.path() / "wrong").string(), Outcome::Refused,
          "Passwort abgelehnt");
    fails("&passfile=" + (folder.path() / "none").string(), Outcome::Refused,
          "enthält keins");
    fails("&sslrootcert=" + server_->certificate("other-ca.pem").string(), Outcome::Failed,
          "Zertifikat des Servers passt nicht");
    // libpq's own words follow.
    fails("&sslrootcert=" + server_->certificate("other-ca.pem").string(), Outcome::Failed,
          "certificate verify failed");
    PersonnelServer nowhere(pq_.library, "postgresql://pelvaro@127.0.0.1:1/pelvaro", "PC");
    EXPECT_EQ(nowhere.connect().outcome, Outcome::Unreachable);
    PersonnelServer garbled(pq_.library, "postgresql://[", "PC");
    EXPECT_EQ(garbled.connect().outcome, Outcome::Failed);
    EXPECT_EQ(psql("SELECT to_regclass('pelvaro_personnel') IS NULL"),
              std::vector<std::string>{"t"});
}

TEST_F(PersonnelServerTest, AStoppedServerIsUnreachableAndTheNextCallAfterItsStartWorks) {
    PersonnelServer pc = connection();
    PersonnelServer listener = connection();
    ASSERT_TRUE(pc.insert("K1", "100").ok());
    ASSERT_TRUE(listener.listen().ok());

    server_->stop();
    EXPECT_EQ(pc.insert("K2", "200").outcome, Outcome::Unreachable);
    EXPECT_FALSE(pc.connected());
    ServerResult result;
    test::pollEvery(
        [&] {
            listener.takeAnnouncements(result);
            return !result.ok();
        },
        std::chrono::milliseconds(20), test::kPatience);
    EXPECT_EQ(result.outcome, Outcome::Unreachable);
    EXPECT_EQ(pc.check().result.outcome, Outcome::Unreachable);

    server_->start();
    ASSERT_TRUE(pc.insert("K2", "200").ok());
    ASSERT_TRUE(listener.listen().ok());
    // A connection that broke while idle is replaced without a word.
    PersonnelServer idle = connection();
    ASSERT_TRUE(idle.connect().ok());
    server_->stop();
    server_->start();
    EXPECT_EQ(rowOf(idle, "K2").personnelNumber, "200");
}

} // namespace
} // namespace pelvaro
