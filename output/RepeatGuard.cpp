#include "output/RepeatGuard.h"

namespace pelvaro {

bool RepeatGuard::holdsBack(std::string_view code, Clock::time_point now) const {
    return hold_.count() > 0 && code == lastCode_ && now - lastTime_ < hold_;
}

void RepeatGuard::givenOut(std::string_view code, Clock::time_point now, bool whole) {
    if (whole)
        lastCode_.assign(code);
    else
        lastCode_.clear(); // no code was typed last
    lastTime_ = now;
}

} // namespace pelvaro
