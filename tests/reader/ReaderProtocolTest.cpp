#include "reader/ReaderProtocol.h"

#include "tests/support/ScriptedLink.h"
#include "tools/simulator/SimulatorFrames.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using sim::cardContent;
using sim::readerFrame;
using Bytes = std::vector<uint8_t>;

const Bytes kAck = {0x10, 0x06};
const Bytes kNak = {0x10, 0x15};

class ReaderProtocolTest : public ::testing::Test {
protected:
    // One pass the way every session runs it: the pass, then a reset.
    PassResult pass() {
        const PassResult result = engine.receivePass();
        engine.reset();
        return result;
    }

    test::ScriptedLink link;
    test::RecordingBinding binding;
    int eventsProcessed = 0;
    ReaderProtocol engine{link, binding, [this] { ++eventsProcessed; }};
};

TEST_F(ReaderProtocolTest, TransponderFrameIsAcknowledgedAndDecoded) {
    link.queue(
        {0x10, 0x02, 0x31, 0x61, 0x01, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x10, 0x03, 0x3D, 0x30});
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_EQ(link.written, kAck);
    EXPECT_EQ(engine.frame().length(), 12u);
    EXPECT_EQ(engine.lastMessage(), 'a');
    EXPECT_EQ(binding.codes, std::vector<std::string>{"123456789A"});
    EXPECT_FALSE(engine.frameReady());
    EXPECT_EQ(eventsProcessed, 14) << "the GUI gets a turn after every byte";
}

TEST_F(ReaderProtocolTest, DoubledDleIsOneDataByteAndBothCountInTheCheck) {
    // Data 10 03 10: each DLE doubled; the 0x03 after a doubled DLE does not end the frame.
    link.queue(readerFrame(cardContent(1, {0x10, 0x03, 0x10})));
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_EQ(link.written, kAck);
    EXPECT_EQ(engine.frame().length(), 10u);
    EXPECT_EQ(binding.codes.back(), "0000100310");
}

TEST_F(ReaderProtocolTest, BadCheckIsAnsweredWithNakAndThePassReadsOn) {
    Bytes frame = readerFrame(cardContent(1, {0x12, 0x34, 0x56, 0x78, 0x9A}));
    frame[frame.size() - 2] ^= 0x01;
    link.queue(frame);
    link.queue(readerFrame(cardContent(1, {0x0A, 0x1B, 0x2C, 0x3D, 0x4E})));
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_EQ(link.written, (Bytes{0x10, 0x15, 0x10, 0x06}));
    EXPECT_EQ(binding.codes, std::vector<std::string>{"0A1B2C3D4E"});
}

TEST_F(ReaderProtocolTest, HexadecimalLetterCheckCharactersDoNotMatch) {
    // The check of this frame is 0xD0, which travels as "=0", never as "D0".
    link.queue({0x10, 0x02, 0x31, 0x61, 0x01, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x10, 0x03, 'D', '0'});
    EXPECT_EQ(pass(), PassResult::Nothing);
    EXPECT_EQ(link.written, kNak);
    EXPECT_TRUE(binding.codes.empty());
}

TEST_F(ReaderProtocolTest, UnknownByteAfterDleKeepsWaitingForTheStart) {
    Bytes line = {0x10, 0x41};
    const Bytes frame = readerFrame(cardContent(1, {0x01}));
    line.insert(line.end(), frame.begin() + 1, frame.end()); // DLE 0x41 STX ...
    link.queue(line);
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_EQ(binding.codes.back(), "0000000001");
}

TEST_F(ReaderProtocolTest, AcknowledgementBetweenFramesEndsThePass) {
    link.queue(kAck);
    link.queue(readerFrame(cardContent(1, {0x01})));
    EXPECT_EQ(pass(), PassResult::Acknowledgement);
    EXPECT_TRUE(link.written.empty());
    EXPECT_EQ(pass(), PassResult::Frame) << "the frame behind it waits for the next pass";
}

TEST_F(ReaderProtocolTest, AcknowledgementInsideContentIsStoredAsContent) {
    // DLE ACK inside the content leaves the DLE pending, so the next ETX closes the frame.
    const Bytes content = {0x31, 0x61, 0x01, 0x12, 0x10, 0x06, 0x03};
    const auto check = checkCharacters(blockCheck(content.data(), content.size()));
    Bytes line = {0x10, 0x02};
    line.insert(line.end(), content.begin(), content.end());
    line.insert(line.end(), check.begin(), check.end());
    link.queue(line);
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_EQ(link.written, kAck);
    EXPECT_EQ(engine.frame().length(), 9u);
}

TEST_F(ReaderProtocolTest, SilenceInsideAFrameDropsIt) {
    const Bytes frame = readerFrame(cardContent(1, {0x12, 0x34}));
    link.queue(Bytes(frame.begin(), frame.begin() + 5));
    EXPECT_EQ(pass(), PassResult::Nothing);
    link.queue(Bytes(frame.begin() + 5, frame.end())); // the rest alone is no frame
    EXPECT_EQ(pass(), PassResult::Nothing);
    link.queue(frame);
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_EQ(binding.codes, std::vector<std::string>{"0000001234"});
}

TEST_F(ReaderProtocolTest, OversizedFrameIsDroppedWithoutAnswer) {
    link.queue(readerFrame(cardContent(1, Bytes(300, 0x55))));
    link.queue(readerFrame(cardContent(1, {0x77})));
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_EQ(link.written, kAck) << "only the second frame is answered";
    EXPECT_EQ(binding.codes, std::vector<std::string>{"0000000077"});
}

TEST_F(ReaderProtocolTest, LargestFrameThatFitsIsDecoded) {
    // 253 data bytes: content and check characters fill the 260-byte buffer exactly.
    Bytes data(253, 0x00);
    data.back() = 0xAB;
    link.queue(readerFrame(cardContent(1, data)));
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_EQ(engine.frame().length(), 260u);
    EXPECT_EQ(binding.codes.back(), "00000000AB");
}

TEST_F(ReaderProtocolTest, RequestIsAnsweredWithTheUnknownFrameThatFollows) {
    const Bytes reply = readerFrame({'1', 0x05, 0x01, 0x01, 0x00});
    link.queue(reply);
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_FALSE(engine.frameReady()) << "outside a request the frame is consumed";

    const uint8_t h = 'H';
    link.queue(kAck);
    link.queue(reply);
    const auto answer = engine.request(1, &h, 1);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->byteAt(1), 0x05);
    EXPECT_EQ(engine.lastMessage(), message::kNone);
    EXPECT_FALSE(engine.frameReady()) << "the reply is taken";
}

TEST_F(ReaderProtocolTest, HardwareRequestIsFramedWithoutDoubling) {
    const uint8_t h = 'H';
    link.queue(kAck);
    EXPECT_EQ(engine.sendFrame(1, &h, 1, true), FrameSendResult::Acknowledged);
    EXPECT_EQ(link.written, (Bytes{0x10, 0x02, 0x31, 0x48, 0x10, 0x03, 0x36, 0x3A}));
}

TEST_F(ReaderProtocolTest, RequestCountsAsAcknowledgedOnNakButNotOnSilence) {
    const uint8_t h = 'H';
    link.queue(kNak);
    EXPECT_EQ(engine.sendFrame(1, &h, 1, true), FrameSendResult::Acknowledged);
    EXPECT_EQ(engine.sendFrame(1, &h, 1, true), FrameSendResult::Unanswered);
    EXPECT_EQ(engine.sendFrame(1, &h, 1, false), FrameSendResult::Acknowledged);
}

TEST_F(ReaderProtocolTest, OverlongRequestIsCutTo253PayloadBytes) {
    const Bytes payload(300, 'x');
    engine.sendFrame(1, payload.data(), payload.size(), false);
    ASSERT_EQ(link.written.size(), 260u);
    EXPECT_EQ(link.written[2], '1');
    EXPECT_EQ(link.written[3 + 252], 'x');
    EXPECT_EQ(link.written[3 + 253], 0x10);
    EXPECT_EQ(link.written[3 + 254], 0x03);
}

TEST_F(ReaderProtocolTest, StatusMessagesClearOnlyWithCharacterTwo) {
    engine.setLastMessage('x');
    link.queue(readerFrame({'1', 'e', 2}));
    pass();
    EXPECT_EQ(engine.lastMessage(), 'x') << "numeric sub-code 2 means nothing";
    for (const uint8_t letter : {'e', 'i', 'k', 's'}) {
        engine.setLastMessage(0);
        link.queue(readerFrame({'1', letter, '2'}));
        EXPECT_EQ(pass(), PassResult::Frame);
        EXPECT_EQ(engine.lastMessage(), '2') << letter;
    }
    link.queue(readerFrame({'1', 'b', '2'}));
    pass();
    EXPECT_EQ(engine.lastMessage(), message::kNone);
}

TEST_F(ReaderProtocolTest, ShortTransponderMessageIsIgnored) {
    engine.setLastMessage('2');
    link.queue(readerFrame({'1', 'a'}));
    EXPECT_EQ(pass(), PassResult::Frame);
    EXPECT_EQ(engine.lastMessage(), '2');
    EXPECT_TRUE(binding.codes.empty());

    link.queue(readerFrame({'1', 'a', 0x01}));
    pass();
    EXPECT_EQ(binding.codes, std::vector<std::string>{"0000000000"}) << "no data bytes: all zero";
}

} // namespace
} // namespace pelvaro
