#include "reader/ReaderProtocol.h"

#include <algorithm>

namespace pelvaro {

ReaderProtocol::ReaderProtocol(ByteLink& link, DecodeBinding& binding,
                               std::function<void()> processEvents)
    : link_(link), binding_(binding), processEvents_(std::move(processEvents)), receiver_(link) {}

void ReaderProtocol::beginSession() {
    receiver_.reset();
    receiver_.clearFrameReady();
    lastMessage_ = message::kNone;
}

PassResult ReaderProtocol::receivePass() {
    for (;;) {
        uint8_t byte = 0;
        // The caller resets: a partial frame is dropped.
        switch (link_.read(&byte, 1)) {
        case ReadOutcome::Complete:
            break;
        case ReadOutcome::LineLost:
            return PassResult::LineLost;
        case ReadOutcome::TimedOut:
        case ReadOutcome::Failed:
            return PassResult::Nothing;
        }
        receiver_.feedByte(byte);

        std::optional<PassResult> result;
        if (receiver_.takeAcknowledgement() != 0) {
            result = PassResult::Acknowledgement;
        } else if (receiver_.frameReady()) {
            decodeFrame(receiver_.frame());
            if (!(awaitingReply_ && lastMessage_ == message::kNone))
                receiver_.clearFrameReady();
            result = PassResult::Frame;
        }
        if (processEvents_)
            processEvents_();
        if (result) {
            receiver_.reset();
            return *result;
        }
    }
}

FrameSendResult ReaderProtocol::sendFrame(uint8_t address, const uint8_t* payload, size_t length,
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
        return FrameSendResult::Acknowledged;
    return receivePass() == PassResult::Acknowledgement ? FrameSendResult::Acknowledged
                                                        : FrameSendResult::Unanswered;
}

std::optional<ReaderFrame> ReaderProtocol::request(uint8_t address, const uint8_t* payload,
                                                   size_t length) {
    awaitingReply_ = true;
    if (sendFrame(address, payload, length, true) == FrameSendResult::Acknowledged)
        receivePass();
    awaitingReply_ = false;
    // A reply may also have come in place of the acknowledgement.
    std::optional<ReaderFrame> reply;
    if (receiver_.frameReady()) {
        receiver_.clearFrameReady();
        reply = receiver_.frame();
    }
    receiver_.reset();
    return reply;
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
