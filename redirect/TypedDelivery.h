#pragma once

#include "keyboard/KeystrokeInjector.h"
#include "output/Delivery.h"

namespace pelvaro {

// A card's text typed, as the card output learns of it: whole or not, and
// the read log's word for it.
Delivery deliveryOf(const TypingResult& typing);

} // namespace pelvaro
