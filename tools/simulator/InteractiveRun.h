#pragma once

#include "tools/simulator/EventReport.h"
#include "tools/simulator/ReaderSimulator.h"

namespace pelvaro::sim {

// Reads keys from standard input (one at a time if it is a terminal) and puts
// the matching reader events on the line, until 'q', 'h' or the end of input.
// Returns the exit status.
int runInteractive(ReaderSimulator& reader, EventReport& report);

} // namespace pelvaro::sim
