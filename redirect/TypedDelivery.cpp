#include "redirect/TypedDelivery.h"

#include "keyboard/TextTyping.h"

namespace pelvaro {

Delivery deliveryOf(const TypingResult& typing) {
    return {typing.typedWhole(), typingResultText(typing)};
}

} // namespace pelvaro
