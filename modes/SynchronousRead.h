#pragma once

#include "modes/ModeHost.h"
#include "reader/LineRecovery.h"
#include "reader/ReadPass.h"

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
    ReaderProtocol& engine() { return host_.modes().engine(); }

    // Lets the window handle its pending events, then runs one pass. While
    // the reader is away it only waits the pause and tries to open it again.
    ReadPassResult nextPass(std::chrono::milliseconds pause);
    // The reader went away and has not come back yet.
    bool readerMissing() const { return recovery_ && recovery_->waiting(); }
    // Closes the port before the end, reporting a port that does not close.
    void closePort();

private:
    ModeHost& host_;
    const Mode mode_;
    bool opened_ = false;
    std::optional<LineRecovery> recovery_;
};

} // namespace pelvaro
