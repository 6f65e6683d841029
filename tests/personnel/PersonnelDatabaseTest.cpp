#include "personnel/PersonnelDatabase.h"

#include "personnel/SqliteLibrary.h"
#include "tests/personnel/SqliteTool.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

const std::string kCreateTable = "CREATE TABLE IF NOT EXISTS t_card_personal (Cardcode "
                                 "VARCHAR(50) PRIMARY KEY  NOT NULL, PersNum VARCHAR(50) "
                                 "NOT NULL)";

// SQLite's documented primary result codes.
constexpr int kBusy = 5;
constexpr int kConstraint = 19;
constexpr int kMisuse = 21;
constexpr int kNotADatabase = 26;

std::string hexOf(std::string_view text) {
    std::string hex;
    for (const unsigned char byte : text) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", byte);
        hex += pair;
    }
    return hex;
}

class PersonnelDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::placeSqliteLibrary(dir.path());
        library = BindSqliteLibrary(dir.path()).library;
        ASSERT_TRUE(library);
        database = std::make_unique<PersonnelDatabase>(library);
    }

    void open() {
        EXPECT_TRUE(database->OpenPersonnelDatabase(dir.path()).ok());
        ASSERT_TRUE(database->isOpen());
    }

    std::vector<std::string> tool(const std::vector<std::string>& arguments) const {
        return test::runSqliteTool(file, arguments);
    }

    // The personnel number the tool sees for a code, as hexadecimal bytes.
    std::vector<std::string> storedBytes(const std::string& code) const {
        return tool({"SELECT hex(PersNum) FROM t_card_personal WHERE Cardcode = '" + code + "'"});
    }

    int rowCount() const { return std::stoi(tool({"SELECT count(*) FROM t_card_personal"}).at(0)); }

    test::TempDir dir;
    std::filesystem::path file = dir.path() / "db_Personal.sqlite";
    std::shared_ptr<const SqliteLibrary> library;
    std::unique_ptr<PersonnelDatabase> database;
};

TEST_F(PersonnelDatabaseTest, FirstOpenCreatesTheFileWithTheExactTableAndLaterOpensKeepIt) {
    ASSERT_FALSE(std::filesystem::exists(file));
    open();
    EXPECT_EQ(tool({".schema"}),
              std::vector<std::string>{"CREATE TABLE t_card_personal (Cardcode VARCHAR(50) "
                                       "PRIMARY KEY  NOT NULL, PersNum VARCHAR(50) NOT NULL);"});
    const PersonnelTable empty = database->ReadPersonnelTable();
    EXPECT_TRUE(empty.entries.empty());
    EXPECT_TRUE(empty.result.ok());

    EXPECT_EQ(database->InsertPersonnelEntry("0A1B2C3D4E", "4711").code, 0);
    EXPECT_TRUE(database->ClosePersonnelDatabase().ok());
    EXPECT_FALSE(database->isOpen());
    EXPECT_TRUE(database->ClosePersonnelDatabase().ok());

    PersonnelDatabase reopened(library);
    EXPECT_TRUE(reopened.OpenPersonnelDatabase(dir.path()).ok());
    EXPECT_EQ(reopened.LookupPersonnelNumber("0A1B2C3D4E").personnelNumber, "4711");
}

TEST_F(PersonnelDatabaseTest, FileThatIsNotADatabaseReportsTheCreateStatementAndStaysOpen) {
    const std::string junk(4096, 'x');
    std::ofstream(file, std::ios::binary) << junk;
    EXPECT_EQ(database->OpenPersonnelDatabase(dir.path()).failure, kCreateTable);
    EXPECT_TRUE(database->isOpen());

    const PersonnelLookup lookup = database->LookupPersonnelNumber("0A1B2C3D4E");
    EXPECT_EQ(lookup.result, (DatabaseResult{kNotADatabase, "SQL prepare error"}));
    EXPECT_EQ(lookup.personnelNumber, std::nullopt);
    EXPECT_EQ(database->FindPersonnelEntry("0A1B2C3D4E").result.failure, "SQL prepare error");
    EXPECT_EQ(database->ReadPersonnelTable().result.failure, "SQL prepare error");
    EXPECT_EQ(database->InsertPersonnelEntry("0A1B2C3D4E", "4711").code, kNotADatabase);
    EXPECT_TRUE(database->ClosePersonnelDatabase().ok());
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), junk);
}

TEST_F(PersonnelDatabaseTest, UnopenableFileIsReportedAndLeavesEveryOperationFailing) {
    EXPECT_EQ(database->OpenPersonnelDatabase(dir.path() / "missing"),
              (DatabaseResult{14, "Error opening database, 14."}));
    EXPECT_FALSE(database->isOpen());
    std::filesystem::create_directory(file);
    EXPECT_EQ(database->OpenPersonnelDatabase(dir.path()).failure, "Error opening database, 14.");
    EXPECT_FALSE(database->isOpen());

    EXPECT_EQ(database->LookupPersonnelNumber("0A1B2C3D4E").result.failure, "SQL prepare error");
    EXPECT_EQ(database->ReadPersonnelTable().result.failure, "SQL prepare error");
    EXPECT_EQ(database->InsertPersonnelEntry("0A1B2C3D4E", "4711").code, kMisuse);
    EXPECT_EQ(database->DeleteAllPersonnelEntries().code, kMisuse);
    EXPECT_TRUE(database->ClosePersonnelDatabase().ok());
}

TEST_F(PersonnelDatabaseTest, LookupsReadRowsTheToolWrote) {
    open();
    tool({"INSERT INTO t_card_personal VALUES ('0A1B2C3D4E', '4711'), ('00000000FF', ''), "
          "('0000000100', 'Jörg')"});

    for (auto find :
         {&PersonnelDatabase::LookupPersonnelNumber, &PersonnelDatabase::FindPersonnelEntry}) {
        EXPECT_EQ((*database.*find)("0A1B2C3D4E").personnelNumber, "4711");
        EXPECT_EQ((*database.*find)("00000000FF").personnelNumber, "") << "stored empty";
        EXPECT_EQ((*database.*find)("0000000100").personnelNumber, "Jörg");
        const PersonnelLookup absent = (*database.*find)("0A1B2C3D4F");
        EXPECT_TRUE(absent.result.ok());
        EXPECT_EQ(absent.personnelNumber, std::nullopt);
    }
}

TEST_F(PersonnelDatabaseTest, ModificationsReturnTheResultCodeAndShowInTheTool) {
    open();
    EXPECT_EQ(database->InsertPersonnelEntry("0A1B2C3D4E", "4711").code, 0);
    EXPECT_EQ(database->InsertPersonnelEntry("00000000FF", {}).code, 0);
    EXPECT_EQ(database->InsertPersonnelEntry("0A1B2C3D4E", "0815").code, kConstraint);
    EXPECT_EQ(tool({"SELECT * FROM t_card_personal"}),
              (std::vector<std::string>{"0A1B2C3D4E|4711", "00000000FF|"}));

    EXPECT_EQ(database->UpdatePersonnelEntry("0A1B2C3D4E", "0815").code, 0);
    EXPECT_EQ(database->UpdatePersonnelEntry("0000000001", "1").code, 0);
    EXPECT_EQ(database->DeletePersonnelEntry("00000000FF").code, 0);
    EXPECT_EQ(database->DeletePersonnelEntry("00000000FF").code, 0);
    EXPECT_EQ(tool({"SELECT * FROM t_card_personal"}), std::vector<std::string>{"0A1B2C3D4E|0815"});

    EXPECT_EQ(database->DeleteAllPersonnelEntries().code, 0);
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(database->DeleteAllPersonnelEntries().code, 0);
}

TEST_F(PersonnelDatabaseTest, SchemaChangedByAnotherProgramCostsNoQuery) {
    open();
    tool({"INSERT INTO t_card_personal VALUES ('0A1B2C3D4E', '4711')"});
    EXPECT_EQ(database->LookupPersonnelNumber("0A1B2C3D4E").personnelNumber, "4711");

    tool({"CREATE INDEX by_number ON t_card_personal(PersNum)"});
    const PersonnelLookup found = database->LookupPersonnelNumber("0A1B2C3D4E");
    EXPECT_EQ(found.personnelNumber, "4711") << found.result.failure;

    tool({"DROP INDEX by_number"});
    EXPECT_EQ(database->InsertPersonnelEntry("00000000FF", "0815").code, 0);
    EXPECT_EQ(rowCount(), 2);
}

TEST_F(PersonnelDatabaseTest, FullTableComesInTheOrderTheQueryReturns) {
    open();
    EXPECT_EQ(database->InsertPersonnelEntry("FFFFFFFFFF", "3").code, 0);
    tool({"INSERT INTO t_card_personal VALUES ('0000000001', '1'), ('8000000000', '')"});
    EXPECT_EQ(database->InsertPersonnelEntry("0000000002", "2").code, 0);

    const PersonnelTable table = database->ReadPersonnelTable();
    EXPECT_TRUE(table.result.ok());
    std::vector<std::string> lines;
    for (const PersonnelEntry& entry : table.entries)
        lines.push_back(entry.cardCode + "|" + entry.personnelNumber);
    EXPECT_EQ(lines, tool({"SELECT * FROM t_card_personal"}));
    EXPECT_EQ(lines.size(), 4u);
}

TEST_F(PersonnelDatabaseTest, DamagedPageEndsTheFullTableWithTheRowsReadSoFar) {
    constexpr int kRows = 2000;
    tool(
        {kCreateTable, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                           std::to_string(kRows) +
                           ") INSERT INTO t_card_personal SELECT printf('%010X', i), 'P' || i "
                           "FROM n"});
    const std::vector<std::string> leaves =
        tool({"SELECT pageno FROM dbstat WHERE name = 't_card_personal' AND pagetype = 'leaf' "
              "ORDER BY path"});
    ASSERT_GT(leaves.size(), 4u);
    const long pageSize = std::stol(tool({"PRAGMA page_size"}).at(0));
    {
        std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp((std::stol(leaves[leaves.size() / 2]) - 1) * pageSize);
        out << std::string(static_cast<size_t>(pageSize), '\0');
    }

    open();
    const PersonnelTable table = database->ReadPersonnelTable();
    EXPECT_EQ(table.result.failure, "SQL SELECT error");
    ASSERT_GT(table.entries.size(), 0u);
    ASSERT_LT(table.entries.size(), size_t{kRows});
    for (size_t row = 0; row < table.entries.size(); ++row) {
        const int number = static_cast<int>(row) + 1;
        // Appended, not "P" + text: GCC 12 warns falsely (-Wrestrict) about that at -O3.
        const std::string personnel = std::string("P").append(std::to_string(number));
        ASSERT_EQ(table.entries[row], (PersonnelEntry{test::numberedCode(number), personnel}));
    }
}

TEST_F(PersonnelDatabaseTest, LockedDatabaseGivesUpAfterFiveBusyTries) {
    open();
    EXPECT_EQ(database->InsertPersonnelEntry("0A1B2C3D4E", "4711").code, 0);
    {
        test::SqliteToolLock lock(file);
        const auto start = std::chrono::steady_clock::now();
        const PersonnelLookup lookup = database->LookupPersonnelNumber("0A1B2C3D4E");
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));
        EXPECT_EQ(lookup.personnelNumber, std::nullopt);
        EXPECT_TRUE(lookup.result.ok()) << "a lock is no failure";
        EXPECT_EQ(database->FindPersonnelEntry("0A1B2C3D4E").personnelNumber, std::nullopt);
        const PersonnelTable table = database->ReadPersonnelTable();
        EXPECT_TRUE(table.entries.empty());
        EXPECT_TRUE(table.result.ok());
        EXPECT_EQ(database->InsertPersonnelEntry("0000000001", "1").code, kBusy);
        EXPECT_EQ(database->UpdatePersonnelEntry("0A1B2C3D4E", "1").code, kBusy);
    }
    EXPECT_EQ(database->LookupPersonnelNumber("0A1B2C3D4E").personnelNumber, "4711");
    EXPECT_EQ(database->InsertPersonnelEntry("0000000001", "1").code, 0);
}

TEST_F(PersonnelDatabaseTest, AnyTypedTextIsStoredExactlyAndChangesNothingElse) {
    const std::vector<std::string> typed = {
        "O'Brien",
        "''",
        "100%",
        "%s%d%n",
        "a;b",
        "'; DROP TABLE t_card_personal; --",
        "x', PersNum = 'y",
        "\"4711\"",
        "Müller-Lüdenscheid ÄÖÜß",
        "123456789012345678901234567890",
    };
    open();
    const int count = static_cast<int>(typed.size());
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(database->InsertPersonnelEntry(test::numberedCode(i), typed[i]).code, 0)
            << typed[i];
    // Each row gets the next text, so every text is also written by an update.
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(
            database->UpdatePersonnelEntry(test::numberedCode(i), typed[(i + 1) % count]).code, 0);

    for (int i = 0; i < count; ++i) {
        const std::string code = test::numberedCode(i);
        const std::string& expected = typed[(i + 1) % count];
        EXPECT_EQ(database->LookupPersonnelNumber(code).personnelNumber, expected);
        EXPECT_EQ(database->FindPersonnelEntry(code).personnelNumber, expected);
        EXPECT_EQ(storedBytes(code), std::vector<std::string>{hexOf(expected)}) << expected;
    }
    EXPECT_EQ(rowCount(), count);
    EXPECT_EQ(tool({".tables"}), std::vector<std::string>{"t_card_personal"});

    // Codes are bound the same way: these match no row.
    EXPECT_EQ(database->DeletePersonnelEntry("' OR '1'='1").code, 0);
    EXPECT_EQ(database->UpdatePersonnelEntry("' OR ''='", "stolen").code, 0);
    EXPECT_EQ(database->LookupPersonnelNumber("' OR ''='").personnelNumber, std::nullopt);
    EXPECT_EQ(rowCount(), count);
    EXPECT_EQ(tool({"SELECT count(*) FROM t_card_personal WHERE PersNum = 'stolen'"}),
              std::vector<std::string>{"0"});
}

} // namespace
} // namespace pelvaro
