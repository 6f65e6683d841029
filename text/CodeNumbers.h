#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pelvaro {

// The ways a code's bytes b1 … bn are written besides hexadecimal as read and
// the whole value in decimal; missing bytes of a short code count as zero.

// The bytes in reverse order, two upper-case hexadecimal digits each.
std::string ReversedHexText(std::span<const uint8_t> bytes);
// The last four bytes as one number: ten decimal digits with leading zeros.
std::string TenDigitDecimalText(std::span<const uint8_t> bytes);
// The last three bytes as a 26-bit Wiegand card: facility b(n-2) and number
// b(n-1)*256 + bn, "FFF,CCCCC" with leading zeros.
std::string Wiegand26Text(std::span<const uint8_t> bytes);

} // namespace pelvaro
