#pragma once

#include "output/Delivery.h"
#include "output/OutputTemplate.h"
#include "output/ReadLog.h"
#include "output/RepeatGuard.h"

#include <functional>
#include <optional>
#include <string>

namespace pelvaro {

// What becomes of each card read: the repeat guard decides whether it is
// given out, the template makes the text, and once it is given out the
// guard and the read log, if there is one, learn what became of it.
class CardOutput {
public:
    // Gives out the text (types or prints it) and says what became of it.
    using GiveOut = std::function<Delivery(const std::string& text)>;

    // The defaults give out every card as redirect mode has always typed it.
    CardOutput() = default;
    CardOutput(OutputTemplate outputTemplate, RepeatGuard repeatGuard, std::optional<ReadLog> log);

    struct Result {
        std::optional<std::string> text;       // given out; none for a held-back repeat
        std::optional<Delivery> delivery;      // what became of it
        std::optional<std::string> logFailure; // the read log's complaint, said once
    };
    Result take(const CardRead& card, RepeatGuard::Clock::time_point now, const GiveOut& giveOut);
    // Writes the read log's waiting lines, if any; its complaint as take gives it.
    std::optional<std::string> flushLog();

private:
    OutputTemplate template_;
    RepeatGuard repeatGuard_;
    std::optional<ReadLog> log_;
};

} // namespace pelvaro
