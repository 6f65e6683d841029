#include "ScriptedLink.h"

#include "LinkFraming.h"

#include <algorithm>

namespace pelvaro::test {

std::vector<uint8_t> readerFrame(const std::vector<uint8_t>& content) {
    std::vector<uint8_t> frame(2 * content.size() + 6);
    frame.resize(encodeFrame(frame.data(), frame.size(), control::STX, content.data(),
                             content.size(), true));
    return frame;
}

std::vector<uint8_t> cardContent(uint8_t subCode, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> content(3 + data.size());
    content[0] = '1';
    content[1] = 'a';
    content[2] = subCode;
    std::copy(data.begin(), data.end(), content.begin() + 3);
    return content;
}

} // namespace pelvaro::test
