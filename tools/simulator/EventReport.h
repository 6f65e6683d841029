#pragma once

#include "tools/simulator/ReaderSimulator.h"

#include <mutex>
#include <ostream>
#include <string_view>

namespace pelvaro::sim {

// The simulator's lines for the user, one per event. Both the main thread and
// the simulator's service thread report, so every line is written whole.
class EventReport {
public:
    explicit EventReport(std::ostream& out) : out_(out) {}

    void line(std::string_view text);
    // "<what><fault>: <how the program answered>"
    void frameSent(std::string_view what, Fault fault, const SendOutcome& outcome);
    void requestReceived(std::span<const uint8_t> payload, bool answered);

private:
    std::mutex mutex_;
    std::ostream& out_;
};

// "Karte 3 (123456789A)"
std::string cardLabel(int number, std::span<const uint8_t> data);

} // namespace pelvaro::sim
