#pragma once

#include "delivery/ReadEvent.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace pelvaro {

class DeliveryService;

// Cards read as events for the company's system: each stored in the outbox as
// soon as it is known what it gives out (the reader has already let go of the
// card), then offered for delivery. A read that cannot be stored goes on all
// the same; the trouble is said once per kind until restart.
class CardEvents {
public:
    using Report = std::function<void(const std::string& trouble)>;

    struct Card {
        ReadEvent event;
        std::optional<int64_t> seq; // stored under this number
    };

    explicit CardEvents(Report report) : report_(std::move(report)) {}

    // Without a service (delivery off) no card becomes an event.
    void setService(DeliveryService* service);
    bool on() const { return service_ != nullptr; }
    // Every kind of trouble is said again.
    void restart() { reported_.clear(); }

    // The card just read on the port, in a mode ("redirect", "list"); none
    // while delivery is off.
    std::optional<Card> begin(std::string_view mode, int port, std::string_view code,
                              const std::string& personnel) const;
    // Stored with what it gives out (none: nothing).
    void store(Card& card, std::optional<std::string> output);
    // As it ended up: offered, if it was stored.
    void offer(const Card& card);

private:
    void tell(const std::string& reason);

    Report report_;
    DeliveryService* service_ = nullptr;
    std::set<std::string> reported_;
};

} // namespace pelvaro
