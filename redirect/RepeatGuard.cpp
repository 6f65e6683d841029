#include "redirect/RepeatGuard.h"

namespace pelvaro {

bool RepeatGuard::letsThrough(std::string_view code, Clock::time_point now) {
    if (hold_.count() > 0 && code == lastCode_ && now - lastTime_ < hold_)
        return false;
    lastCode_.assign(code);
    lastTime_ = now;
    return true;
}

} // namespace pelvaro
