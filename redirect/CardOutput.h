#pragma once

#include "redirect/OutputTemplate.h"
#include "redirect/ReadLog.h"
#include "redirect/RepeatGuard.h"

#include <optional>
#include <string>

namespace pelvaro {

// What becomes of each card read: the repeat guard decides whether it is
// given out, the template makes the text, and the read log, if there is one,
// keeps a line of it either way.
class CardOutput {
public:
    // The defaults give out every card as redirect mode has always typed it.
    CardOutput() = default;
    CardOutput(OutputTemplate outputTemplate, RepeatGuard repeatGuard, std::optional<ReadLog> log);

    struct Result {
        std::optional<std::string> text;       // to type or print; none for a held-back repeat
        std::optional<std::string> logFailure; // the read log's complaint, said once
    };
    Result take(const CardRead& card, RepeatGuard::Clock::time_point now);
    // Writes the read log's waiting lines, if any; its complaint as take gives it.
    std::optional<std::string> flushLog();

private:
    OutputTemplate template_;
    RepeatGuard repeatGuard_;
    std::optional<ReadLog> log_;
};

} // namespace pelvaro
