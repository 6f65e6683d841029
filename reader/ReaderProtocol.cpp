#include "ReaderProtocol.h"

#include <algorithm>

namespace pelvaro {

ReaderProtocol::ReaderProtocol(ByteLink& link, DecodeBinding& binding,
                               std::function<void()> processEvents)
    : link_(link), binding_(binding), processEvents_(std::move(processEvents)), receiver_(link) {}

int ReaderProtocol::receivePass() {
    for (;;) {
        uint8_t byte = 0;
        if (!link_.read(&byte, 1))
            return pass::kNothing; // the caller resets: a partial frame is dropped
        receiver_.feedByte(byte);

        int result = -1;
        if (receiver_.takeAcknowledgement() != 0) {
            result = pass::kAcknowledgement;
        } else if (receiver_.frameReady()) {
            decodeFrame(receiver_.frame());
            if (!(hardwareQuery_ && lastMessage_ == message::kNone))
                receiver_.clearFrameReady();
            result = pass::kFrame;
        }
        if (processEvents_)
            processEvents_();
        if (result >= 0) {
            receiver_.reset();
            return result;
        }
    }
}

int ReaderProtocol::sendFrame(uint8_t address, const uint8_t* payload, size_t length,
                              bool awaitAcknowledgement) {
    std::array<uint8_t, kMaxPayload + 1> content{};
    length = std::min(length, kMaxPayload);
    content[0] = static_cast<uint8_t>(0x30 + address);
    std::copy_n(payload, length, content.begin() + 1);

    sendBuffer_.fill(0);
    const size_t frameLength = encodeFrame(sendBuffer_.data(), sendBuffer_.size(), control::STX,
                                           content.data(), length + 1, false);
    link_.write(sendBuffer_.data(), frameLength);
    receiver_.reset();
    if (!awaitAcknowledgement)
        return 1;
    return receivePass() == pass::kAcknowledgement ? 1 : 2;
}

void ReaderProtocol::decodeFrame(const ReaderFrame& frame) {
    switch (frame.command()) {
    case 'a': {
        if (!frame.hasDataField())
            return;
        const bool reverse = isHitagSubCode(frame.subCode()) && binding_.hitagInverse();
        const auto code = TransponderCode::format(frame.data(), binding_.cardLength(), reverse);
        binding_.storeCode(code.text());
        lastMessage_ = message::kTransponderCode;
        return;
    }
    case 'e':
    case 'i':
    case 'k':
    case 's':
        if (frame.subCode() == '2')
            lastMessage_ = message::kStatusClear;
        return;
    default:
        lastMessage_ = message::kNone;
        return;
    }
}

} // namespace pelvaro
