#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace pelvaro::sim {

// A frame as the reader sends it: DLE STX, the content with every DLE doubled,
// DLE ETX and the block check characters.
std::vector<uint8_t> readerFrame(std::span<const uint8_t> content);
inline std::vector<uint8_t> readerFrame(std::initializer_list<uint8_t> content) {
    return readerFrame(std::span(content.begin(), content.size()));
}

// The content of a transponder message from the reader: its address
// character, 'a', the sub-code and the code bytes.
std::vector<uint8_t> cardContent(uint8_t subCode, const std::vector<uint8_t>& data);

// The same frame with every bit of its block check inverted, so the program
// must reject it.
std::vector<uint8_t> withWrongCheck(std::vector<uint8_t> frame);

} // namespace pelvaro::sim
