#include "text/CodeNumbers.h"

#include <algorithm>

namespace pelvaro {

namespace {

// The big-endian value of the last count bytes (fewer if there are fewer).
uint32_t lastBytesValue(std::span<const uint8_t> bytes, size_t count) {
    uint32_t value = 0;
    for (const uint8_t byte : bytes.last(std::min(count, bytes.size())))
        value = value << 8 | byte;
    return value;
}

std::string zeroPadded(uint32_t value, size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return digits;
}

} // namespace

std::string ReversedHexText(std::span<const uint8_t> bytes) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte) {
        text += kDigits[*byte >> 4];
        text += kDigits[*byte & 0x0F];
    }
    return text;
}

std::string TenDigitDecimalText(std::span<const uint8_t> bytes) {
    return zeroPadded(lastBytesValue(bytes, 4), 10);
}

std::string Wiegand26Text(std::span<const uint8_t> bytes) {
    const uint32_t card = lastBytesValue(bytes, 2);
    const uint32_t facility = bytes.size() >= 3 ? bytes[bytes.size() - 3] : 0;
    return zeroPadded(facility, 3) + ',' + zeroPadded(card, 5);
}

} // namespace pelvaro
