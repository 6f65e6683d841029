#pragma once

#include "reader/ByteLink.h"
#include "reader/ReaderFrame.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace pelvaro {

namespace control {
inline constexpr uint8_t SOH = 0x01;
inline constexpr uint8_t STX = 0x02;
inline constexpr uint8_t ETX = 0x03;
inline constexpr uint8_t ACK = 0x06;
inline constexpr uint8_t DLE = 0x10;
inline constexpr uint8_t NAK = 0x15;
inline constexpr uint8_t ETB = 0x17;
} // namespace control

inline constexpr size_t kFrameBufferSize = 260;

// Exclusive-or of the bytes, starting from 0.
uint8_t blockCheck(const uint8_t* bytes, size_t count);

// The two characters a check byte travels as: 0x30 OR each nibble, high first.
std::array<uint8_t, 2> checkCharacters(uint8_t check);

// Writes DLE, start, the content, DLE ETX and the check characters into out
// and returns the frame's length, or 0 if it does not fit. With doubleDle every
// DLE of the content is sent twice, as the reader does; requests to the reader
// go without.
size_t encodeFrame(uint8_t* out, size_t capacity, uint8_t start, const uint8_t* content,
                   size_t count, bool doubleDle);

// The receiving half of the link: a byte-by-byte state machine that collects a
// frame's content, checks its block check and answers DLE ACK or DLE NAK over
// the link. Nothing is ever stored past its 260-byte buffer: a frame that
// would overflow it is dropped and the machine returns to idle.
class FrameReceiver {
public:
    explicit FrameReceiver(ByteLink& link) : link_(link) {}

    // Back to idle, dropping a partial frame. Keeps a received acknowledgement
    // and a ready frame.
    void reset();
    void feedByte(uint8_t byte);
    // Writes DLE and the character (ACK or NAK) in one write.
    void sendControl(uint8_t character);

    // 0, or the ACK or NAK last received from the other side; taking clears it.
    uint8_t takeAcknowledgement();
    bool acknowledgementPending() const { return acknowledgement_ != 0; }

    bool frameReady() const { return frameReady_; }
    void clearFrameReady() { frameReady_ = false; }
    // The last frame completed, after removal of doubled DLEs.
    ReaderFrame frame() const { return ReaderFrame(buffer_.data(), frameLength_); }

private:
    enum class State : uint8_t { Idle, AfterDle, Content, CheckHigh, CheckLow };

    void store(uint8_t byte);
    void completeFrame();

    ByteLink& link_;
    State state_ = State::Idle;
    uint16_t length_ = 0;
    uint8_t acknowledgement_ = 0;
    bool dlePending_ = false;
    bool frameReady_ = false;
    uint16_t frameLength_ = 0;
    std::array<uint8_t, kFrameBufferSize> buffer_{};
};

} // namespace pelvaro
