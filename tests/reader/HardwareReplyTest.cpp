#include "reader/HardwareReply.h"

#include "reader/T_Serial_Interface.h"
#include "tests/support/ScriptedLink.h"
#include "tools/simulator/ReaderSimulator.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

std::string line(const HardwareReply& reply, const std::string& label) {
    const std::string text = hardwareInfoText(reply);
    const size_t start = text.find(label + ": ");
    return start == std::string::npos
               ? ""
               : text.substr(start + label.size() + 2,
                             text.find('\n', start) - start - label.size() - 2);
}

TEST(HardwareInfoTextTest, LayoutOfTheAnswer) {
    EXPECT_EQ(hardwareInfoText({1, 1, 1, 0}),
              "Hardware Info:\n==============\nPlattform: Busleser\n"
              "RFID: 125 kHz\nTastatur: ja\nIO-Box: nein");
}

TEST(HardwareInfoTextTest, PlatformCodesAndModules) {
    for (const uint8_t unnamed : {0, 19, 20, 0xF0, 0xF3, 0xEF, 0xF4, 0xFF})
        EXPECT_EQ(line({unnamed, 0, 0, 0}, "Plattform"), "undefiniert") << int(unnamed);
    EXPECT_EQ(line({0xF1, 0, 0, 0}, "Plattform"), "Busmodul");
    EXPECT_EQ(line({0xF2, 0, 0, 0}, "Plattform"), "Einbaumodul");
    for (uint8_t platform = 1; platform <= 18; ++platform)
        EXPECT_NE(line({platform, 0, 0, 0}, "Plattform"), "undefiniert") << int(platform);
}

TEST(HardwareInfoTextTest, CodesBeyondTheTablesAndShortRepliesAreUndefined) {
    EXPECT_EQ(line({1, 6, 0, 0}, "RFID"), "Legic Advant4000");
    EXPECT_EQ(line({1, 7, 0, 0}, "RFID"), "undefiniert");
    EXPECT_EQ(line({1, 0, 2, 0}, "Tastatur"), "undefiniert");
    EXPECT_EQ(line({1, 0, 0, 255}, "IO-Box"), "undefiniert");
    const HardwareReply platformOnly{5, std::nullopt, std::nullopt, std::nullopt};
    EXPECT_EQ(line(platformOnly, "RFID"), "undefiniert");
    EXPECT_EQ(line(platformOnly, "IO-Box"), "undefiniert");
}

class HardwareRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
        port.flush();
    }

    sim::ReaderSimulator reader;
    T_Serial_Interface port{false};
    test::RecordingBinding binding;
    ReaderProtocol engine{port, binding};
};

TEST_F(HardwareRequestTest, ReaderAnswersTheRequest) {
    reader.setHardwareInfo({0xF2, 5, 0, 1});
    const auto reply = requestHardwareReply(engine, 1);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->platform, 0xF2);
    EXPECT_EQ(reply->rfidTechnology, 5);
    EXPECT_EQ(reply->keyboard, 0);
    EXPECT_EQ(reply->ioBox, 1);
    EXPECT_EQ(reader.lastRequestPayload(), std::vector<uint8_t>{'H'});
    EXPECT_FALSE(engine.frameReady()) << "the reply is consumed";

    reader.setAcknowledgementTimeout(std::chrono::milliseconds(1)); // answered below
    reader.sendCard(std::vector<uint8_t>{0x12, 0x34});
    engine.receivePass();
    EXPECT_EQ(binding.codes, std::vector<std::string>{"0000001234"}) << "cards read normally after";
}

TEST_F(HardwareRequestTest, SilentReaderGivesNothing) {
    reader.setAnswerRequests(false);
    EXPECT_FALSE(requestHardwareReply(engine, 1));
    EXPECT_EQ(reader.requestsReceived(), 1);
}

} // namespace
} // namespace pelvaro
