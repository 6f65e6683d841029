#pragma once

#include "reader/T_Serial_Interface.h"

#include <chrono>

namespace pelvaro {

// The text every reader of the program shows while its reader is away.
inline constexpr char kReaderLostText[] = "Leser getrennt, warte auf Leser...";

// Takes up a reader that was unplugged and plugged in again. Told that the
// line went away, it closes the dead handle; from then on it opens the very
// device again, at most twice a second, until it is back; a port mapped to
// another device meanwhile stays away. It never waits itself, so a GUI
// thread can call it in every cycle.
class LineRecovery {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRetryInterval{500};

    explicit LineRecovery(T_Serial_Interface& port) : port_(port) {}

    // The reader is away: no pass should run.
    bool waiting() const { return waiting_; }
    // A read found the line gone.
    void lineLost(Clock::time_point now = Clock::now());
    // Called while waiting, instead of a pass. True once the port is open
    // again, its queues emptied: the engine must start a new session.
    bool tryReopen(Clock::time_point now = Clock::now());

private:
    T_Serial_Interface& port_;
    bool waiting_ = false;
    Clock::time_point nextTry_{};
};

} // namespace pelvaro
