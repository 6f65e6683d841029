#include "ScriptedLink.h"

#include "LinkFraming.h"

namespace pelvaro::test {

std::vector<uint8_t> readerFrame(const std::vector<uint8_t>& content) {
    std::vector<uint8_t> frame(2 * content.size() + 6);
    frame.resize(encodeFrame(frame.data(), frame.size(), control::STX, content.data(),
                             content.size(), true));
    return frame;
}

std::vector<uint8_t> cardContent(uint8_t subCode, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> content{'1', 'a', subCode};
    content.insert(content.end(), data.begin(), data.end());
    return content;
}

} // namespace pelvaro::test
