// The simulated reader against the program's real serial port and protocol
// engine on a pseudo-terminal.

#include "tools/simulator/ReaderSimulator.h"

#include "tests/support/TempDir.h"
#include "tests/tools/ProgramSide.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using sim::Fault;
using sim::SendOutcome;

constexpr SendOutcome kAcknowledged{true, 1, 0};

class ReaderSimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(program.port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    }

    SendOutcome card(const Bytes& data, Fault fault = Fault::None) {
        return program.whileSending([&] { return reader.sendCard(data, 1, fault); });
    }

    sim::ReaderSimulator reader;
    test::ProgramSide program;
};

TEST_F(ReaderSimulatorTest, CardsAndStatusArriveIntactAndAreAcknowledged) {
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(card({0x12, 0x34, 0x56, 0x78, 0x9A}), kAcknowledged);
    EXPECT_GT(reader.lastWriteTime(), before);
    EXPECT_LT(reader.lastWriteTime(), std::chrono::steady_clock::now());
    EXPECT_EQ(reader.acknowledgementsReceived(), 1);

    // DLE in the data travels doubled; DLE ETX inside must not end the frame.
    EXPECT_EQ(card({0x10, 0x03, 0x10, 0x10, 0x02}), kAcknowledged);
    EXPECT_EQ(program.binding.codes, (std::vector<std::string>{"123456789A", "1003101002"}));

    EXPECT_EQ(program.whileSending([&] { return reader.sendStatus('e', '2'); }), kAcknowledged);
    EXPECT_EQ(program.protocol.lastMessage(), message::kStatusClear);
    EXPECT_EQ(reader.negativeAcknowledgementsReceived(), 0);
}

TEST_F(ReaderSimulatorTest, RejectedFrameIsRepeatedAtMostThreeTimes) {
    EXPECT_EQ(card({0x01, 0x02, 0x03, 0x04, 0x05}, Fault::BadCheck), (SendOutcome{true, 2, 1}));
    EXPECT_EQ(program.binding.codes, std::vector<std::string>{"0102030405"});

    EXPECT_EQ(card({0x06}, Fault::AlwaysBadCheck), (SendOutcome{false, 4, 4}));
    EXPECT_EQ(program.binding.codes.size(), 1u);
    EXPECT_EQ(reader.negativeAcknowledgementsReceived(), 5);
}

TEST_F(ReaderSimulatorTest, UnansweredFrameIsNotRepeatedAndItsLateAnswerNotMistaken) {
    reader.setAcknowledgementTimeout(100ms);
    EXPECT_EQ(reader.sendCard(Bytes{0x11}), (SendOutcome{false, 1, 0})) << "nobody reads yet";
    EXPECT_EQ(program.pass(), PassResult::Frame);
    EXPECT_EQ(program.pass(), PassResult::Nothing) << "no repetition after a time-out";
    ASSERT_TRUE(test::waitFor([&] { return reader.acknowledgementsReceived() == 1; }));

    // The late DLE ACK must not pass for the answer to the next, rejected frame.
    EXPECT_EQ(card({0x22}, Fault::BadCheck), (SendOutcome{true, 2, 1}));
    EXPECT_EQ(program.binding.codes, (std::vector<std::string>{"0000000011", "0000000022"}));
}

TEST_F(ReaderSimulatorTest, NoiseAndCutOffFramesCostOnlyTheCutOffCard) {
    EXPECT_EQ(card({0x01}, Fault::Garbage), kAcknowledged);

    EXPECT_EQ(reader.sendCard(Bytes{0x02}, 1, Fault::CutOff), (SendOutcome{false, 1, 0}));
    EXPECT_EQ(program.pass(), PassResult::Nothing);

    EXPECT_EQ(card({0x03}), kAcknowledged);
    EXPECT_EQ(program.binding.codes, (std::vector<std::string>{"0000000001", "0000000003"}));
}

TEST_F(ReaderSimulatorTest, HardwareQueryIsAcknowledgedAndAnswered) {
    reader.setHardwareInfo({0x10, 3, 4, 5});
    const uint8_t query = 'H';
    ASSERT_EQ(program.protocol.sendFrame(1, &query, 1, true), FrameSendResult::Acknowledged);

    ASSERT_EQ(program.pass(), PassResult::Frame);
    const auto reply = program.protocol.frame().bytes();
    ASSERT_GE(reply.size(), 5u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), (Bytes{'1', 0x10, 3, 4, 5}));

    EXPECT_EQ(reader.requestsReceived(), 1);
    EXPECT_EQ(reader.lastRequestPayload(), Bytes{'H'});
    EXPECT_TRUE(test::waitFor([&] { return reader.acknowledgementsReceived() == 1; }));
    EXPECT_EQ(program.pass(), PassResult::Nothing) << "an acknowledged reply is not repeated";
}

TEST_F(ReaderSimulatorTest, SilentReaderNeitherAcknowledgesNorAnswers) {
    reader.setAnswerRequests(false);
    const uint8_t query = 'H';
    EXPECT_EQ(program.protocol.sendFrame(1, &query, 1, true), FrameSendResult::Unanswered);
    EXPECT_EQ(program.pass(), PassResult::Nothing);
    EXPECT_EQ(reader.requestsReceived(), 1) << "heard, though not answered";
}

TEST_F(ReaderSimulatorTest, HangUpTakesTheLineAway) {
    reader.hangUp();
    uint8_t byte = 0;
    EXPECT_EQ(program.port.read(&byte, 1), ReadOutcome::LineLost);
    EXPECT_EQ(reader.sendCard(Bytes{0x01}), (SendOutcome{false, 0, 0}));
}

TEST(ReaderSimulatorPortTest, ProgramFindsTheLineThroughTheMappingAndMayReopenIt) {
    sim::ReaderSimulator reader;
    test::TempDir dir;
    const auto ini = dir.path() / "Pelvaro.ini";
    ASSERT_TRUE(reader.mapAsPort(ini, 12));
    EXPECT_EQ(PortMap(ini).devicePath(12), reader.devicePath());
    EXPECT_FALSE(reader.waitForProgram(0ms));

    test::ProgramSide program{PortMap(ini)};
    ASSERT_EQ(program.port.open(12, 9600), OpenResult::Opened);
    EXPECT_TRUE(reader.waitForProgram(1s));

    ASSERT_TRUE(program.port.close());
    ASSERT_EQ(program.port.open(12, 9600), OpenResult::Opened);
    EXPECT_EQ(program.whileSending([&] { return reader.sendCard(Bytes{0x42}); }), kAcknowledged);
    EXPECT_EQ(program.binding.codes, std::vector<std::string>{"0000000042"});
}

} // namespace
} // namespace pelvaro
