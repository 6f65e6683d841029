#pragma once

#include "reader/T_Serial_Interface.h"

#include <chrono>

namespace pelvaro {

// What a look at the line after a pass found.
enum class LineChange { None, Lost, Back };

// The text every reader of the program shows while its reader is away.
inline constexpr char kReaderLostText[] = "Leser getrennt, warte auf Leser...";

// Takes up a reader that was unplugged and plugged in again. After a pass in
// which the line went away it closes the dead handle; from then on it opens
// the same port again, at most twice a second, until it is back. It never
// waits itself, so a GUI thread can call it in every cycle.
class LineRecovery {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRetryInterval{500};

    explicit LineRecovery(T_Serial_Interface& port) : port_(port) {}

    // The reader is away: no pass should run.
    bool waiting() const { return waiting_; }
    // Called after every pass, or instead of it while waiting. Back means
    // opened, its queues emptied: the engine must start a new session.
    LineChange check(Clock::time_point now = Clock::now());

private:
    T_Serial_Interface& port_;
    bool waiting_ = false;
    Clock::time_point nextTry_{};
};

} // namespace pelvaro
