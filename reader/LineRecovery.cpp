#include "reader/LineRecovery.h"

namespace pelvaro {

LineChange LineRecovery::check(Clock::time_point now) {
    if (!waiting_) {
        if (!port_.lineLost())
            return LineChange::None;
        port_.close();
        waiting_ = true;
        nextTry_ = now + kRetryInterval;
        return LineChange::Lost;
    }
    if (now < nextTry_)
        return LineChange::None;
    nextTry_ = now + kRetryInterval;
    // Opening empties the line's queues; no second flush, which would purge
    // a card the reader sends as soon as it sees the line open.
    if (port_.reopen() != OpenResult::Opened)
        return LineChange::None;
    waiting_ = false;
    return LineChange::Back;
}

} // namespace pelvaro
