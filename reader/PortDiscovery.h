#pragma once

#include "reader/T_Serial_Interface.h"

#include <map>
#include <vector>

namespace pelvaro {

// The ports a scan found openable, and why each of the others did not open.
struct PortScan {
    std::vector<int> openable; // ascending
    std::map<int, PortProblem> problems;
};

// Looks at the COM port numbers 1..255: each is opened and closed again at
// once. A port that is missing, held by another program or no serial line is
// left out, with its problem.
PortScan findOpenablePorts(T_Serial_Interface& port);

} // namespace pelvaro
