#include "reader/MessageDecoding.h"

#include <algorithm>

namespace pelvaro {

int boundedCardLength(int configured) {
    if (configured == 0)
        return kDefaultCardLength;
    const int bounded = std::clamp(configured, kMinCardLength, kMaxCardLength);
    return bounded - bounded % 2;
}

void toHexText(char* destination, const uint8_t* source, size_t count) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < count; ++i) {
        *destination++ = kDigits[source[i] >> 4];
        *destination++ = kDigits[source[i] & 0x0F];
    }
}

TransponderCode TransponderCode::format(std::span<const uint8_t> data, int cardLength,
                                        bool reverse) {
    // Only the last L digits survive, so only the bytes that carry them are
    // converted: at most L/2 bytes from the end of the data.
    std::array<uint8_t, kMaxCardLength / 2> bytes{};
    const size_t length = static_cast<size_t>(boundedCardLength(cardLength));
    const size_t used = std::min(data.size(), length / 2);
    if (reverse)
        std::reverse_copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(used),
                          bytes.begin());
    else
        std::copy(data.end() - static_cast<std::ptrdiff_t>(used), data.end(), bytes.begin());

    TransponderCode code;
    code.length_ = length;
    std::fill_n(code.digits_.begin(), length, '0');
    toHexText(code.digits_.data() + (length - 2 * used), bytes.data(), used);
    return code;
}

bool isHitagSubCode(uint8_t subCode) {
    return subCode == 2 || subCode == 3;
}

} // namespace pelvaro
