#pragma once

#include "delivery/DeliveryService.h"
#include "settings/DeliverySettings.h"

#include <map>
#include <string>

namespace pelvaro {

// The secret of each target, by its URL.
using TargetSecrets = std::map<std::string, std::string>;

// How this computer reaches one target with the settings and its secret.
SenderSettings senderSettingsFor(const DeliverySettings& settings, const std::string& url,
                                 const std::string& secret);
// What the delivery service runs with: every target of the settings.
DeliveryOptions deliveryOptionsFor(const DeliverySettings& settings, const TargetSecrets& secrets);

} // namespace pelvaro
