#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pelvaro {

// The unsigned big-endian value of the bytes in decimal, without leading zeros;
// "0" for a zero value and for no bytes. Exact for any number of bytes.
std::string CodeToDecimal(std::span<const uint8_t> bytes);

} // namespace pelvaro
