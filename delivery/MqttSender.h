#pragma once

#include "delivery/Sender.h"

#include <memory>

namespace pelvaro {

// A broker: each event published with QoS 1 in a persistent session; taken
// once the broker acknowledged it.
std::unique_ptr<Sender> makeMqttSender(const SenderSettings& settings);

} // namespace pelvaro
