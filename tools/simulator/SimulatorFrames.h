#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pelvaro::sim {

// A frame as the reader sends it: DLE STX, the content with every DLE doubled,
// DLE ETX and the block check characters.
std::vector<uint8_t> readerFrame(std::span<const uint8_t> content);

// The same frame with every bit of its block check inverted, so the program
// must reject it.
std::vector<uint8_t> withWrongCheck(std::vector<uint8_t> frame);

} // namespace pelvaro::sim
