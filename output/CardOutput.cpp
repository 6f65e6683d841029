#include "output/CardOutput.h"

#include "output/CardText.h"

namespace pelvaro {

CardOutput::CardOutput(OutputTemplate outputTemplate, RepeatGuard repeatGuard,
                       std::optional<ReadLog> log)
    : template_(std::move(outputTemplate)), repeatGuard_(repeatGuard), log_(std::move(log)) {}

CardOutput::Result CardOutput::take(const CardRead& card, RepeatGuard::Clock::time_point now,
                                    const GiveOut& giveOut) {
    // The text and the log ask the database about the card once between them.
    CardRead read = card;
    read.lookup = askingOnce(card.lookup);
    Result result;
    std::string outcome = "zurückgehalten";
    if (!repeatGuard_.holdsBack(read.code, now)) {
        result.text = template_.render(read);
        result.delivery = giveOut(*result.text);
        repeatGuard_.givenOut(read.code, now, result.delivery->whole);
        outcome = result.delivery->outcome;
    }
    if (log_) {
        const std::string personnelNumber = StoredPersonnelNumber(read.code, read.lookup);
        result.logFailure = log_->append(
            {read.time, read.code, personnelNumber, result.text.value_or(std::string()), outcome});
    }
    return result;
}

std::optional<std::string> CardOutput::flushLog() {
    return log_ ? log_->flush() : std::nullopt;
}

} // namespace pelvaro
