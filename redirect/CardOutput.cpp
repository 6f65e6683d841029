#include "redirect/CardOutput.h"

namespace pelvaro {

CardOutput::CardOutput(OutputTemplate outputTemplate, RepeatGuard repeatGuard,
                       std::optional<ReadLog> log)
    : template_(std::move(outputTemplate)), repeatGuard_(repeatGuard), log_(std::move(log)) {}

CardOutput::Result CardOutput::take(const CardRead& card, RepeatGuard::Clock::time_point now) {
    // The text and the log ask the database about the card once between them.
    CardRead read = card;
    read.lookup = askingOnce(card.lookup);
    Result result;
    if (repeatGuard_.letsThrough(read.code, now))
        result.text = template_.render(read);
    if (log_) {
        const std::string personnelNumber = StoredPersonnelNumber(read.code, read.lookup);
        result.logFailure = log_->append(
            {read.time, read.code, personnelNumber, result.text.value_or(std::string())});
    }
    return result;
}

std::optional<std::string> CardOutput::flushLog() {
    return log_ ? log_->flush() : std::nullopt;
}

} // namespace pelvaro
