#include "tests/personnel/SqliteTool.h"

#include "tests/support/Polling.h"

#include <cstdio>
#include <stdexcept>

namespace pelvaro::test {

using namespace std::chrono_literals;

std::string numberedCode(int number) {
    char code[11];
    std::snprintf(code, sizeof code, "%010X", number);
    return code;
}

std::vector<std::string> runSqliteTool(const std::filesystem::path& database,
                                       const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"sqlite3", "-batch", "-bail", database.string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    ChildProcess tool(command);
    std::vector<std::string> lines;
    while (auto line = tool.readLine(10s))
        lines.push_back(std::move(*line));
    if (tool.waitForExit(10s) != 0)
        throw std::runtime_error("sqlite3 failed: " + tool.errorOutput());
    return lines;
}

// The tool takes the lock, then signals it by creating the marker file and
// keeps the lock until the marker is gone.
SqliteToolLock::SqliteToolLock(const std::filesystem::path& database)
    : marker_(database.parent_path() / "locked"),
      tool_({"sqlite3", "-batch", "-bail", database.string(), "BEGIN EXCLUSIVE;",
             ".shell touch " + marker_.string() + " && while [ -e " + marker_.string() +
                 " ]; do sleep 0.01; done",
             "COMMIT;"}) {
    const auto lockedOrEnded = [this] {
        return std::filesystem::exists(marker_) || tool_.waitForExit(0ms).has_value();
    };
    if (!pollEvery(lockedOrEnded, 10ms, 10s))
        throw std::runtime_error("sqlite3 did not take the lock in time");
    if (!std::filesystem::exists(marker_))
        throw std::runtime_error("sqlite3 did not take the lock: " + tool_.errorOutput());
}

SqliteToolLock::~SqliteToolLock() {
    std::filesystem::remove(marker_);
    tool_.waitForExit(10s);
}

} // namespace pelvaro::test
