#include "text/DecimalText.h"

#include <charconv>
#include <vector>

namespace pelvaro {

namespace {

constexpr uint32_t kLimbBase = 1'000'000'000;
constexpr int kLimbDigits = 9;

} // namespace

std::string CodeToDecimal(std::span<const uint8_t> bytes) {
    // Nine decimal digits per limb, lowest first. A byte adds at most 2.41
    // digits, so a third of a limb per byte (plus one) always suffices.
    std::vector<uint32_t> limbs;
    limbs.reserve(bytes.size() / 3 + 1);
    for (const uint8_t byte : bytes) {
        uint64_t carry = byte;
        for (uint32_t& limb : limbs) {
            const uint64_t value = uint64_t{limb} * 256 + carry;
            limb = static_cast<uint32_t>(value % kLimbBase);
            carry = value / kLimbBase;
        }
        if (carry != 0)
            limbs.push_back(static_cast<uint32_t>(carry));
    }
    if (limbs.empty())
        return "0";

    std::string text(limbs.size() * kLimbDigits, '0');
    char* const begin = text.data();
    const auto [highEnd, ignored] = std::to_chars(begin, begin + kLimbDigits, limbs.back());
    char* end = highEnd;
    for (size_t i = limbs.size() - 1; i-- > 0;) {
        uint32_t limb = limbs[i];
        end += kLimbDigits;
        for (char* digit = end; digit != end - kLimbDigits; limb /= 10)
            *--digit = static_cast<char>('0' + limb % 10);
    }
    text.resize(static_cast<size_t>(end - begin));
    return text;
}

} // namespace pelvaro
