#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace pelvaro {

// Keeps a card that stays at the reader from being typed again and again: the
// code typed last is held back until the hold time has passed since it was
// typed. Another card is always let through, and so is a card whose typing
// did not go through whole. A hold of zero lets every card through.
class RepeatGuard {
public:
    using Clock = std::chrono::steady_clock;

    explicit RepeatGuard(std::chrono::seconds hold = std::chrono::seconds(0)) : hold_(hold) {}

    // Whether the code read now is to be held back.
    bool holdsBack(std::string_view code, Clock::time_point now) const;
    // The code given out now, typed whole or not: only a whole one is held
    // back when it comes again.
    void givenOut(std::string_view code, Clock::time_point now, bool whole);

private:
    std::chrono::seconds hold_;
    std::string lastCode_;
    Clock::time_point lastTime_;
};

} // namespace pelvaro
