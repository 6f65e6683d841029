#include "text/HexPairs.h"

#include <charconv>

namespace pelvaro {

std::vector<uint8_t> HexPairBytes(std::string_view code) {
    std::vector<uint8_t> bytes;
    bytes.reserve(code.size() / 2);
    for (size_t i = 0; i + 1 < code.size(); i += 2) {
        const char* const pair = code.data() + i;
        uint8_t byte = 0;
        // Both characters must be digits: from_chars alone would take "A-" for 0x0A.
        const auto [end, error] = std::from_chars(pair, pair + 2, byte, 16);
        if (error != std::errc{} || end != pair + 2)
            break;
        bytes.push_back(byte);
    }
    return bytes;
}

} // namespace pelvaro
