#pragma once

#include "tests/support/ChildProcess.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelvaro::test {

// A server that a test runs for itself (an X server, a Wayland compositor).
// It is terminated with the object, so that it removes its socket and lock
// files, which a killed one would leave.
class ServerProcess {
public:
    // Starts the command and asks ready once whether it serves (ready may
    // wait for it); throws std::runtime_error saying that name did not start,
    // and why, when it does not.
    ServerProcess(const std::string& name, const std::vector<std::string>& command,
                  const std::optional<std::vector<std::string>>& environment,
                  const std::function<bool(ChildProcess&)>& ready);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    pid_t pid() const { return process_.pid(); }

private:
    ChildProcess process_;
};

} // namespace pelvaro::test
