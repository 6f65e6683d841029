#pragma once

#include "delivery/Sender.h"

#include <memory>

namespace pelvaro {

// A webhook: each request a POST of one event, or of a JSON array of events
// while a backlog drains, with an Idempotency-Key.
std::unique_ptr<Sender> makeHttpSender(const SenderSettings& settings);

} // namespace pelvaro
