#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace pelvaro {

inline constexpr int kDefaultCardLength = 10;
inline constexpr int kMinCardLength = 2;
inline constexpr int kMaxCardLength = 22;

// The card length to format with: 0 means the default; anything else is held
// to the even values 2..22 (below 2 gives 2, above 22 gives 22, odd values are
// lowered by one), so a hand-edited settings file cannot overrun a code text.
int boundedCardLength(int configured);

// Writes two upper-case hexadecimal digits per byte, high nibble first. No
// terminator.
void toHexText(char* destination, const uint8_t* source, size_t count);

// A transponder's identity as the modes work with it: exactly L upper-case
// hexadecimal digits.
class TransponderCode {
public:
    std::string_view text() const { return {digits_.data(), length_}; }

    // The hexadecimal digits of the data bytes (reversed first if asked), cut
    // from the left or padded on the left with '0' to the bounded card length.
    static TransponderCode format(std::span<const uint8_t> data, int cardLength, bool reverse);

private:
    std::array<char, kMaxCardLength> digits_{};
    size_t length_ = 0;
};

// Hitag transponders (sub-codes 2 and 3) deliver their bytes in reverse order.
bool isHitagSubCode(uint8_t subCode);

// What decoding reports in the engine's last-message byte.
namespace message {
inline constexpr uint8_t kNone = 0;
inline constexpr uint8_t kTransponderCode = 'a';
inline constexpr uint8_t kStatusClear = '2';
} // namespace message

} // namespace pelvaro
