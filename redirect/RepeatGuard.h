#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace pelvaro {

// Keeps a card that stays at the reader from being typed again and again: the
// code typed last is held back until the hold time has passed since it was
// typed. Another card is always let through. A hold of zero lets every card
// through.
class RepeatGuard {
public:
    using Clock = std::chrono::steady_clock;

    explicit RepeatGuard(std::chrono::seconds hold = std::chrono::seconds(0)) : hold_(hold) {}

    // Whether the code read now is to be given out; if so it is the code typed last.
    bool letsThrough(std::string_view code, Clock::time_point now);

private:
    std::chrono::seconds hold_;
    std::string lastCode_;
    Clock::time_point lastTime_;
};

} // namespace pelvaro
