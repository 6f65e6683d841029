#pragma once

#include "reader/T_Serial_Interface.h"

#include <vector>

namespace pelvaro {

// The COM port numbers (1..255, ascending) that can be opened at the moment:
// each is opened and closed again at once. A port that is missing, held by
// another program or no serial line is left out.
std::vector<int> findOpenablePorts(T_Serial_Interface& port);

} // namespace pelvaro
