#include "bench/ProcessUsage.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace pelvaro::bench {

namespace {

// The fields of /proc/<pid>/stat after the command name, from the state on.
std::vector<std::string> statFields(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(file, line);
    // The command name may hold spaces; it ends at the last parenthesis.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

} // namespace

double cpuTicks(pid_t pid) {
    const auto fields = statFields(pid);
    // utime and stime, fields 14 and 15 counted from the pid.
    return std::stod(fields.at(11)) + std::stod(fields.at(12));
}

double statusKiB(pid_t pid, const std::string& name) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(file, line);)
        if (line.starts_with(name + ":"))
            return std::stod(line.substr(name.size() + 1));
    throw std::runtime_error("no " + name + " for the program");
}

double ticksToSeconds(double ticks) {
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace pelvaro::bench
