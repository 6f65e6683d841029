#pragma once

#include "tools/simulator/ReaderSimulator.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelvaro::sim {

struct SimulatorOptions {
    std::filesystem::path settingsFile; // --ini, with portNumber from --com
    int portNumber = 0;
    std::filesystem::path readyFile;
    HardwareInfo hardware;
    bool silent = false;
    bool help = false;

    // Script mode: cards to hold, in turn, instead of reading keys.
    std::vector<std::vector<uint8_t>> codes;
    int intervalMs = 500;
    int count = 0; // 0: each code once
    uint8_t subCode = 1;
    bool noWait = false; // start at once instead of waiting for the program to open the line
    // Every N-th card gets the fault; 0 means never.
    int badCheckEvery = 0;
    int garbageEvery = 0;
    int cutEvery = 0;
    int hangUpAfter = 0; // cards before the line goes away; 0 means never

    bool scriptMode() const { return !codes.empty(); }
};

// Parses the command line (without the program name). On a mistake returns
// nothing and puts a German message for the user into error.
std::optional<SimulatorOptions> parseSimulatorOptions(const std::vector<std::string>& arguments,
                                                      std::string& error);

extern const char kSimulatorUsage[];

} // namespace pelvaro::sim
