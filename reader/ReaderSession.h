#pragma once

#include "reader/LineRecovery.h"
#include "reader/ReaderProtocol.h"

#include <chrono>

namespace pelvaro {

// The pause before every receive pass of a polling session, which keeps it
// from hogging the line and the processor.
inline constexpr std::chrono::milliseconds kPauseBeforePass{10};

// What one step of a read session came to.
enum class StepOutcome {
    CodeRead,    // a transponder code, stored through the engine's binding
    StatusClear, // the reader's status '2': the card was taken away
    OtherFrame,  // a frame that carried neither
    Silence,     // a pass without a frame: silence, noise or a stray acknowledgement
    LineLost,    // a pass without a frame in which the reader went away
    ReaderAway,  // the reader is still away: no pass ran
    LineBack,    // the reader is back and a new session has begun; no pass ran
};

// Reading the reader step by step on a freshly opened and flushed port: the
// engine's receive passes, each message handed over once, and the recovery
// of a reader that was unplugged. It waits only for the pauses it is given
// and the line's read time-out.
class ReaderSession {
public:
    // Begins the session: the engine drops a partial frame and its last message.
    ReaderSession(ReaderProtocol& engine, T_Serial_Interface& port);

    // One step: the pause before the pass, one receive pass and its outcome.
    // While the reader is away instead the pause while away and a try to
    // open the port again.
    StepOutcome step(std::chrono::milliseconds pauseBeforePass,
                     std::chrono::milliseconds pauseWhileAway);
    // The reader went away and has not come back yet.
    bool readerAway() const { return recovery_.waiting(); }

private:
    StepOutcome pass(std::chrono::milliseconds pause);

    ReaderProtocol& engine_;
    LineRecovery recovery_;
};

} // namespace pelvaro
