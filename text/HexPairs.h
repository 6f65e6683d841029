#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace pelvaro {

// The bytes of a code's hexadecimal pairs, up to its first pair that is not
// two hexadecimal digits (a pair such as "A-" ends the code).
std::vector<uint8_t> HexPairBytes(std::string_view code);

} // namespace pelvaro
