#include "tools/simulator/SimulatorFrames.h"

#include "reader/LinkFraming.h"
#include "tools/simulator/ReaderSimulator.h"

#include <algorithm>

namespace pelvaro::sim {

namespace {

constexpr size_t kFrameOverhead = 6;  // DLE STX, DLE ETX, two check characters
constexpr size_t kCardHeaderSize = 3; // address character, 'a', sub-code

} // namespace

std::vector<uint8_t> cardContent(uint8_t subCode, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> content(kCardHeaderSize + data.size());
    content[0] = ReaderSimulator::kAddressCharacter;
    content[1] = 'a';
    content[2] = subCode;
    std::copy(data.begin(), data.end(), content.begin() + kCardHeaderSize);
    return content;
}

std::vector<uint8_t> readerFrame(std::span<const uint8_t> content) {
    std::vector<uint8_t> frame(2 * content.size() + kFrameOverhead);
    frame.resize(encodeFrame(frame.data(), frame.size(), control::STX, content.data(),
                             content.size(), true));
    return frame;
}

std::vector<uint8_t> withWrongCheck(std::vector<uint8_t> frame) {
    // The check covers the first content byte through ETX.
    const uint8_t check = blockCheck(frame.data() + 2, frame.size() - 4);
    const auto wrong = checkCharacters(static_cast<uint8_t>(~check));
    frame[frame.size() - 2] = wrong[0];
    frame[frame.size() - 1] = wrong[1];
    return frame;
}

} // namespace pelvaro::sim
