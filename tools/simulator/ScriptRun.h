#pragma once

#include "tools/simulator/EventReport.h"
#include "tools/simulator/ReaderSimulator.h"
#include "tools/simulator/SimulatorOptions.h"

namespace pelvaro::sim {

// Holds the cards of the options to the reader, one after another, with the
// faults the options ask for. Returns the exit status.
int runScript(ReaderSimulator& reader, const SimulatorOptions& options, EventReport& report);

} // namespace pelvaro::sim
