#pragma once

#include "reader/ByteLink.h"
#include "reader/LinkFraming.h"
#include "reader/MessageDecoding.h"

#include <functional>
#include <optional>
#include <string_view>
#include <utility>

namespace pelvaro {

// Where one engine instance takes its decoding settings from and where it puts
// the codes it decodes. The main window's instance reads the settings dialog's
// controls and writes its current code; the read thread's instance reads the
// block it shares with the main window and writes its own code text.
class DecodeBinding {
public:
    virtual ~DecodeBinding() = default;
    virtual int cardLength() const = 0; // as configured; 0 means the default
    virtual bool hitagInverse() const = 0;
    virtual void storeCode(std::string_view code) = 0;
};

// Results of a receive pass.
enum class PassResult : int {
    Nothing = 0,         // silence, or a failed read
    Frame = 1,           // a valid frame arrived and was decoded
    Acknowledgement = 2, // the reader sent DLE ACK or DLE NAK
    LineLost = 3,        // the line went away; a partial frame is dropped
};

// Results of sending a request frame.
enum class FrameSendResult : int {
    Acknowledged = 1, // by DLE ACK or DLE NAK alike, or no acknowledgement awaited
    Unanswered = 2,
};

// The reader's DLE-framed link protocol over a serial line: receive passes that
// acknowledge and decode the reader's frames, and request frames to the reader.
class ReaderProtocol {
public:
    static constexpr size_t kMaxPayload = 253;
    static constexpr uint8_t kReaderAddress = 1;

    // processEvents lets the GUI handle its pending messages; a pass calls it
    // after every byte so the windows stay alive during a read.
    ReaderProtocol(ByteLink& link, DecodeBinding& binding,
                   std::function<void()> processEvents = {});

    void reset() { receiver_.reset(); }
    // A new session on a freshly opened line: a partial frame, a ready frame
    // and the last message are dropped.
    void beginSession();

    // Reads and handles bytes until the line falls silent (Nothing), the
    // reader acknowledges (Acknowledgement), one valid frame has been
    // decoded (Frame) or the line is gone (LineLost). The port's read
    // time-out bounds the silence.
    PassResult receivePass();

    // Sends a request frame with at most 253 payload bytes.
    FrameSendResult sendFrame(uint8_t address, const uint8_t* payload, size_t length,
                              bool awaitAcknowledgement);
    // Sends a request frame and, once the reader has acknowledged it, runs
    // one pass for its reply: the frame that decoding takes for no message
    // (a code or a status is decoded as in any pass). Nothing when no reply
    // came. The reply is valid until the next pass; the engine is left reset.
    std::optional<ReaderFrame> request(uint8_t address, const uint8_t* payload, size_t length);

    // Interprets a valid frame: stores a transponder code through the binding
    // and sets the last message.
    void decodeFrame(const ReaderFrame& frame);

    uint8_t lastMessage() const { return lastMessage_; }
    void setLastMessage(uint8_t message) { lastMessage_ = message; }
    // The last message handed over once: taking it clears it.
    uint8_t takeMessage() { return std::exchange(lastMessage_, message::kNone); }
    bool frameReady() const { return receiver_.frameReady(); }
    ReaderFrame frame() const { return receiver_.frame(); }

private:
    ByteLink& link_;
    DecodeBinding& binding_;
    std::function<void()> processEvents_;
    FrameReceiver receiver_;
    uint8_t lastMessage_ = message::kNone;
    // During a request: a frame that decoding does not recognise stays ready
    // after the pass, as the reply.
    bool awaitingReply_ = false;
    std::array<uint8_t, kFrameBufferSize> sendBuffer_{};
};

} // namespace pelvaro
