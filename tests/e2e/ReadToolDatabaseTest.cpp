// pelvaro-read with the server's personnel table: a card added by another
// client while the tool runs is given out as its personnel number.

#include "personnel/server/PersonnelServer.h"
#include "tests/e2e/ReadToolFixture.h"
#include "tests/personnel/SqliteLibraryFiles.h"
#include "tests/support/PostgresServer.h"

#include <csignal>
#include <cstdlib>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using test::PostgresServer;

using ReadToolDatabaseTest = test::ReadToolFixture;

TEST_F(ReadToolDatabaseTest, PrintsTheNumberOfACardAddedOnTheServerWithinTwoSeconds) {
    PostgresServer server;
    setenv("PGPASSFILE", server.pgpassFile().c_str(), 1);
    server.psql(serverSchemaSql(), PostgresServer::kOwner);
    test::placeSqliteLibrary(dir.path());
    auto tool = start({"--port", "3", "--database", server.uri(), "--template", "{code}={pnr}"});

    server.psql("INSERT INTO pelvaro_personnel(cardcode, persnum, changed_by) VALUES "
                "('123456789A', '4711', 'psql')");
    const auto added = std::chrono::steady_clock::now();
    std::optional<std::string> line;
    do {
        ASSERT_TRUE(reader.sendCard(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A}).acknowledged);
        line = tool->readLine(1s);
    } while (line != "123456789A=4711" && std::chrono::steady_clock::now() - added < 2s);
    EXPECT_EQ(line, "123456789A=4711");

    tool->signal(SIGTERM);
    EXPECT_EQ(tool->waitForExit(2s), 0) << "the sync stops at once";
    EXPECT_NE(tool->errorOutput().find("Personalnummern-Server verbunden."), std::string::npos);
}

} // namespace
} // namespace pelvaro
