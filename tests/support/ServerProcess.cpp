#include "tests/support/ServerProcess.h"

#include <csignal>
#include <stdexcept>

namespace pelvaro::test {

using namespace std::chrono_literals;

ServerProcess::ServerProcess(const std::string& name, const std::vector<std::string>& command,
                             const std::optional<std::vector<std::string>>& environment,
                             const std::function<bool(ChildProcess&)>& ready)
    : process_(command, environment) {
    if (ready(process_))
        return;
    process_.signal(SIGKILL);
    process_.waitForExit(2s);
    throw std::runtime_error(name + " did not start: " + process_.errorOutput());
}

ServerProcess::~ServerProcess() {
    process_.signal(SIGTERM);
    process_.waitForExit(5s);
}

} // namespace pelvaro::test
