#pragma once

#include "tests/personnel/SqliteLibraryFiles.h"
#include "tests/support/ChildProcess.h"

#include <filesystem>
#include <string>
#include <vector>

namespace pelvaro::test {

// The code of card number n as the tool writes it with printf('%010X', n).
std::string numberedCode(int number);

// Runs the sqlite3 command-line tool on a database file, each argument an SQL
// text or a dot command, and returns its output lines (columns separated by
// "|"). Throws when the tool fails.
std::vector<std::string> runSqliteTool(const std::filesystem::path& database,
                                       const std::vector<std::string>& arguments);

// The sqlite3 tool holding an exclusive lock on a database, from construction
// until the object goes.
class SqliteToolLock {
public:
    explicit SqliteToolLock(const std::filesystem::path& database);
    ~SqliteToolLock();
    SqliteToolLock(const SqliteToolLock&) = delete;
    SqliteToolLock& operator=(const SqliteToolLock&) = delete;

private:
    std::filesystem::path marker_;
    ChildProcess tool_;
};

} // namespace pelvaro::test
