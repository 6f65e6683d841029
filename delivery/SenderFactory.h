#pragma once

#include "delivery/DeliveryService.h"

namespace pelvaro {

// Events an MQTT target has in flight, unacknowledged, at once.
inline constexpr size_t kMqttInFlight = 100;

// The way out for the target's URL by its scheme: http:// and https:// a
// webhook taking batch events per request, mqtt:// and mqtts:// a broker.
std::variant<TargetSender, std::string> makeSender(const SenderSettings& target, size_t batch);

} // namespace pelvaro
