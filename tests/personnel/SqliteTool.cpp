#include "tests/personnel/SqliteTool.h"

#include <cstdio>
#include <stdexcept>
#include <thread>

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
    for (int wait = 0; !std::filesystem::exists(marker_); ++wait) {
        if (tool_.waitForExit(0ms))
            throw std::runtime_error("sqlite3 did not take the lock: " + tool_.errorOutput());
        if (wait == 1000)
            throw std::runtime_error("sqlite3 did not take the lock in time");
        std::this_thread::sleep_for(10ms);
    }
}

SqliteToolLock::~SqliteToolLock() {
    std::filesystem::remove(marker_);
    tool_.waitForExit(10s);
}

} // namespace pelvaro::test
