#include "output/Delivery.h"

namespace pelvaro {

std::string deliveryTroubleText(const Delivery& delivery) {
    std::string text = delivery.outcome;
    if (!text.empty() && text.front() >= 'a' && text.front() <= 'z')
        text.front() = static_cast<char>(text.front() - 'a' + 'A');
    return text;
}

} // namespace pelvaro
