#include "SimulatorFrames.h"

#include "LinkFraming.h"

namespace pelvaro::sim {

namespace {

constexpr size_t kFrameOverhead = 6; // DLE STX, DLE ETX, two check characters

} // namespace

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
