#include "reader/LineRecovery.h"

namespace pelvaro {

void LineRecovery::lineLost(Clock::time_point now) {
    port_.close();
    waiting_ = true;
    nextTry_ = now + kRetryInterval;
}

bool LineRecovery::tryReopen(Clock::time_point now) {
    if (now < nextTry_)
        return false;
    nextTry_ = now + kRetryInterval;
    // Opening empties the line's queues; no second flush, which would purge
    // a card the reader sends as soon as it sees the line open.
    if (port_.reopen() != OpenResult::Opened)
        return false;
    waiting_ = false;
    return true;
}

} // namespace pelvaro
