#include "redirect/CardEvents.h"

#include "delivery/DeliveryService.h"

#include <cstdio>

namespace pelvaro {

void CardEvents::setService(DeliveryService* service) {
    service_ = service;
    restart();
}

std::optional<CardEvents::Card> CardEvents::begin(std::string_view mode, int port,
                                                  std::string_view code,
                                                  const std::string& personnel) const {
    if (!service_)
        return std::nullopt;
    Card card{newReadEvent(mode, "Com" + std::to_string(port), code), std::nullopt};
    if (!personnel.empty())
        card.event.personnel = personnel;
    return card;
}

void CardEvents::store(Card& card, std::optional<std::string> output) {
    card.event.output = std::move(output);
    if (!service_)
        return;
    auto stored = service_->store(card.event);
    if (const auto* seq = std::get_if<int64_t>(&stored))
        card.seq = *seq;
    else
        tell(std::get<std::string>(stored));
}

void CardEvents::offer(const Card& card) {
    if (!service_ || !card.seq)
        return;
    if (const auto failure = service_->offer(*card.seq, card.event))
        tell(*failure);
}

void CardEvents::tell(const std::string& reason) {
    // The same trouble with other figures (a full outbox's count) is the same kind.
    std::string kind = reason;
    std::erase_if(kind, [](char c) { return c >= '0' && c <= '9'; });
    if (!reported_.insert(kind).second)
        return;
    const std::string trouble = "Versandfehler: " + reason;
    std::fprintf(stderr, "Pelvaro: %s\n", trouble.c_str());
    report_(trouble);
}

} // namespace pelvaro
