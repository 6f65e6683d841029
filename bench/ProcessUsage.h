#pragma once

#include <string>
#include <sys/types.h>

namespace pelvaro::bench {

// The CPU time a process has used so far, user and system, in clock ticks.
double cpuTicks(pid_t pid);
// A field of /proc/<pid>/status in KiB, such as "VmRSS" or "VmHWM".
double statusKiB(pid_t pid, const std::string& name);
// Clock ticks as seconds.
double ticksToSeconds(double ticks);

} // namespace pelvaro::bench
