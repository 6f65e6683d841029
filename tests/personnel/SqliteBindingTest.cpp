#include "personnel/SqliteLibrary.h"
#include "tests/personnel/SqliteLibraryFiles.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

// The message for each entry point, in the order of resolving.
std::vector<std::string> everyEntryPointMissing() {
    std::vector<std::string> messages;
    for (const char* name :
         {"sqlite3_open", "sqlite3_close", "sqlite3_errcode", "sqlite3_errmsg", "sqlite3_exec",
          "sqlite3_prepare", "sqlite3_step", "sqlite3_column_int", "sqlite3_reset",
          "sqlite3_column_text", "sqlite3_get_autocommit", "sqlite3_finalize", "sqlite3_free_table",
          "sqlite3_get_table", "sqlite3_bind_text"})
        messages.push_back(std::string("Error funktion not found.\n\"") + name + "\"");
    return messages;
}

class SqliteBindingTest : public ::testing::Test {
protected:
    std::filesystem::path libraryFile() const { return dir.path() / kSqliteLibraryFile; }

    test::TempDir dir;
};

TEST_F(SqliteBindingTest, LibraryBesideTheProgramIsBound) {
    const SqliteBinding built = BindSqliteLibrary(test::programsDirectory());
    EXPECT_TRUE(built.library);
    EXPECT_TRUE(built.messages.empty());

    test::placeSqliteLibrary(dir.path());
    const SqliteBinding copied = BindSqliteLibrary(dir.path());
    ASSERT_TRUE(copied.library);
    EXPECT_TRUE(copied.messages.empty());
    EXPECT_NE(copied.library->functions().bindText, nullptr);
}

// The system's own copy in the library search path must not be taken instead.
TEST_F(SqliteBindingTest, WithoutTheLibraryNothingIsBoundAndNothingReported) {
    SqliteBinding binding = BindSqliteLibrary(dir.path());
    EXPECT_FALSE(binding.library);
    EXPECT_TRUE(binding.messages.empty());

    std::filesystem::create_directory(libraryFile());
    binding = BindSqliteLibrary(dir.path());
    EXPECT_FALSE(binding.library);
    EXPECT_TRUE(binding.messages.empty());

    binding = BindSqliteLibrary(dir.path() / "missing");
    EXPECT_FALSE(binding.library);
    EXPECT_TRUE(binding.messages.empty());
}

TEST_F(SqliteBindingTest, LibraryLackingEntryPointsReportsEachInOrderAndIsNotBound) {
    std::filesystem::copy_file(SQLITE_STUB_LIBRARY, libraryFile());
    const SqliteBinding binding = BindSqliteLibrary(dir.path());
    EXPECT_FALSE(binding.library);
    // The stub exports the first two.
    const std::vector<std::string> all = everyEntryPointMissing();
    EXPECT_EQ(binding.messages, std::vector<std::string>(all.begin() + 2, all.end()));
}

TEST_F(SqliteBindingTest, FileThatDoesNotLoadReportsEveryEntryPoint) {
    std::ofstream(libraryFile()) << "not a library\n";
    const SqliteBinding binding = BindSqliteLibrary(dir.path());
    EXPECT_FALSE(binding.library);
    EXPECT_EQ(binding.messages, everyEntryPointMissing());
}

} // namespace
} // namespace pelvaro
