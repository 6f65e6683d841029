#include "reader/LinkFraming.h"

namespace pelvaro {

using namespace control;

uint8_t blockCheck(const uint8_t* bytes, size_t count) {
    uint8_t check = 0;
    for (size_t i = 0; i < count; ++i)
        check ^= bytes[i];
    return check;
}

std::array<uint8_t, 2> checkCharacters(uint8_t check) {
    return {static_cast<uint8_t>(0x30 | (check >> 4)), static_cast<uint8_t>(0x30 | (check & 0x0F))};
}

size_t encodeFrame(uint8_t* out, size_t capacity, uint8_t start, const uint8_t* content,
                   size_t count, bool doubleDle) {
    size_t length = 0;
    const auto put = [&](uint8_t byte) {
        if (length < capacity)
            out[length] = byte;
        ++length;
    };
    put(DLE);
    put(start);
    for (size_t i = 0; i < count; ++i) {
        put(content[i]);
        if (doubleDle && content[i] == DLE)
            put(DLE);
    }
    put(DLE);
    put(ETX);
    if (length + 2 > capacity)
        return 0;
    const auto check = checkCharacters(blockCheck(out + 2, length - 2));
    put(check[0]);
    put(check[1]);
    return length;
}

void FrameReceiver::reset() {
    state_ = State::Idle;
    length_ = 0;
    dlePending_ = false;
}

void FrameReceiver::sendControl(uint8_t character) {
    const uint8_t message[2] = {DLE, character};
    link_.write(message, sizeof message);
}

uint8_t FrameReceiver::takeAcknowledgement() {
    const uint8_t received = acknowledgement_;
    acknowledgement_ = 0;
    return received;
}

void FrameReceiver::store(uint8_t byte) {
    if (length_ >= buffer_.size()) {
        reset(); // too long for the buffer: drop it
        return;
    }
    buffer_[length_++] = byte;
}

void FrameReceiver::feedByte(uint8_t byte) {
    switch (state_) {
    case State::Idle:
        if (byte == DLE)
            state_ = State::AfterDle;
        break;
    case State::AfterDle:
        length_ = 0;
        if (byte == SOH || byte == STX || byte == ETB) {
            state_ = State::Content;
        } else if (byte == ACK || byte == NAK) {
            acknowledgement_ = byte;
            reset();
        }
        // Any other byte: the next one is examined again as the byte after DLE.
        break;
    case State::Content:
        store(byte);
        if (state_ != State::Content)
            break;
        if (byte == DLE) {
            dlePending_ = !dlePending_;
        } else if (byte == ETX && dlePending_) {
            dlePending_ = false;
            state_ = State::CheckHigh;
        }
        break;
    case State::CheckHigh:
        store(byte);
        if (state_ == State::CheckHigh)
            state_ = State::CheckLow;
        break;
    case State::CheckLow:
        store(byte);
        if (state_ == State::CheckLow)
            completeFrame();
        break;
    }
}

void FrameReceiver::completeFrame() {
    const uint8_t high = buffer_[length_ - 2];
    const uint8_t low = buffer_[length_ - 1];
    const uint8_t received =
        static_cast<uint8_t>((((high - 0x30) << 4) & 0xF0) | ((low - 0x30) & 0x0F));
    if (received == blockCheck(buffer_.data(), length_ - 2u)) {
        // Undouble: every pair of adjacent DLEs becomes one.
        uint16_t kept = 0;
        for (uint16_t i = 0; i < length_; ++i) {
            buffer_[kept++] = buffer_[i];
            if (buffer_[i] == DLE && i + 1 < length_ && buffer_[i + 1] == DLE)
                ++i;
        }
        frameLength_ = kept;
        sendControl(ACK);
        frameReady_ = true;
    } else {
        sendControl(NAK);
    }
    reset();
}

} // namespace pelvaro
