#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace pelvaro::test {

// Our environment ("NAME=value" entries) with these variables set instead:
// those already set are replaced, so a child sees only the given ones.
std::vector<std::string> environmentWith(const std::vector<std::string>& settings);

// A program started by a test with its standard output and error captured.
// The destructor kills it if it still runs.
class ChildProcess {
public:
    // A command without a slash is looked up in PATH. environment: the child's
    // whole environment ("NAME=value" entries); without it the child inherits ours.
    explicit ChildProcess(const std::vector<std::string>& command,
                          const std::optional<std::vector<std::string>>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of standard output (without the line end), or nothing if
    // none arrives in time or the output ends.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Everything written to standard error once the program has ended.
    std::string errorOutput();
    void signal(int number);
    pid_t pid() const { return pid_; }
    // The exit status, or nothing if it has not ended in time (or died of a signal: -signal).
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string pending_;
    std::optional<int> status_;
};

} // namespace pelvaro::test
