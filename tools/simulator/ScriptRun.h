#pragma once

#include "EventReport.h"
#include "ReaderSimulator.h"
#include "SimulatorOptions.h"

namespace pelvaro::sim {

// Holds the cards of the options to the reader, one after another, with the
// faults the options ask for. Returns the exit status.
int runScript(ReaderSimulator& reader, const SimulatorOptions& options, EventReport& report);

} // namespace pelvaro::sim
