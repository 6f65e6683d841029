#pragma once

#include "fileio/FileLocations.h"
#include "tools/read/ReadOptions.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pelvaro {
class DeliveryService;
struct ReadEvent;
} // namespace pelvaro

namespace pelvaro::readtool {

// What became of a card, as its event tells the targets.
struct CardOutcome {
    std::optional<std::string> output;    // the text printed or typed; none when held back
    std::optional<std::string> personnel; // the personnel number stored for the card
    bool typed = false;                   // typed whole
};

// Every card read also goes to the targets of --deliver, through the outbox:
// stored before it is given out, so that a crash loses nothing, and offered
// once it is. Delivery runs on threads of its own and starts with what an
// earlier run left in the outbox.
class ReadDelivery {
public:
    // Opens the outbox and starts delivering; nothing, with the reason in
    // German, when it cannot (another process owns the outbox, no SQLite, a
    // secret file that cannot be read).
    static std::unique_ptr<ReadDelivery> start(const ReadOptions& options,
                                               const FileLocations& files, std::string& error);
    // Stops the threads at once; what waits stays in the outbox.
    ~ReadDelivery();

    // The card just read, stored; the outbox's reason on standard error when
    // it cannot be (the card is given out all the same).
    void cardRead(std::string_view reader, std::string_view code);
    // What became of it: offered to the targets.
    void cardGivenOut(const CardOutcome& outcome);

private:
    struct Pending;
    explicit ReadDelivery(std::unique_ptr<DeliveryService> service);

    std::unique_ptr<DeliveryService> service_;
    std::unique_ptr<Pending> pending_; // the card between cardRead and cardGivenOut
};

} // namespace pelvaro::readtool
