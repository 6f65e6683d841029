#pragma once

#include "modes/ModeHost.h"
#include "reader/ReaderSession.h"

#include <optional>

namespace pelvaro {

// The frame of every read that runs on the GUI thread: the list reading
// session, the single read and the hardware query. It claims its mode, opens
// the configured port at the reader's speed, flushes it and prepares the
// engine; when it goes out of scope it closes the port and gives the mode
// back. A reader unplugged during the read is taken up again once it is
// back. An open failure (or a port that another mode holds) is reported, the
// stop request is set and no pass runs.
class SynchronousRead {
public:
    SynchronousRead(ModeHost& host, Mode mode);
    ~SynchronousRead();
    SynchronousRead(const SynchronousRead&) = delete;
    SynchronousRead& operator=(const SynchronousRead&) = delete;

    bool opened() const { return opened_; }
    // Opened, and nobody has asked the read to stop (Stopp, closing the window).
    bool goingOn() const { return opened_ && !host_.stopRequested(); }

    // Lets the window handle its pending events, then takes one step after
    // the pause: one pass, or while the reader is away a try to open it again.
    StepOutcome nextStep(std::chrono::milliseconds pause);
    // The reader went away and has not come back yet.
    bool readerMissing() const { return session_ && session_->readerAway(); }
    // Closes the port before the end, reporting a port that does not close.
    void closePort();

private:
    ModeHost& host_;
    const Mode mode_;
    bool opened_ = false;
    std::optional<ReaderSession> session_;
};

} // namespace pelvaro
