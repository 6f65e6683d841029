#pragma once

#include "tools/simulator/PseudoTerminal.h"
#include "tools/simulator/ReaderSimulator.h"

#include <condition_variable>
#include <mutex>

namespace pelvaro::sim {

using Clock = std::chrono::steady_clock;

// What the simulator's API thread and its service thread share: the line and
// what has been seen on it.
struct SimulatorState {
    PseudoTerminal line;
    std::mutex writeMutex; // serialises writes to the master and its closing

    std::mutex mutex;                // guards every member below
    std::condition_variable changed; // an answer, an opening of the line, or a hang-up
    uint8_t answer = 0;              // DLE ACK or NAK to the frame being sent; 0 while none
    int acknowledgements = 0;
    int negativeAcknowledgements = 0;
    int requests = 0;
    int openings = 0;
    std::vector<uint8_t> lastRequest;
    Clock::time_point lastWrite{};
    std::chrono::milliseconds acknowledgementTimeout{1000};
    HardwareInfo hardware;
    bool answerRequests = true;
    bool hungUp = false;
    ReaderSimulator::RequestObserver observer;

    // Writes every byte to the master; writes of frames stamp lastWrite. False
    // once the line is closed.
    bool write(std::span<const uint8_t> bytes, bool frame);
    // Closes both sides of the line for good.
    void closeLine();
};

} // namespace pelvaro::sim
