#include "reader/MessageDecoding.h"

#include "reader/ReaderProtocol.h"
#include "tests/support/ScriptedLink.h"
#include "tools/simulator/SimulatorFrames.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kFiveBytes = {0x12, 0x34, 0x56, 0x78, 0x9A};

std::string code(const Bytes& data, int length, bool reverse = false) {
    return std::string(TransponderCode::format(data, length, reverse).text());
}

TEST(TransponderCodeTest, CutAndPaddedToTheCardLength) {
    EXPECT_EQ(code(kFiveBytes, 10), "123456789A");
    EXPECT_EQ(code(kFiveBytes, 8), "3456789A");
    EXPECT_EQ(code(kFiveBytes, 12), "00123456789A");
    EXPECT_EQ(code({0x12, 0x34, 0x56, 0x78}, 10), "0012345678");
    EXPECT_EQ(code({0x01, 0x12, 0x34, 0x56, 0x78, 0x9A}, 10), "123456789A");
    EXPECT_EQ(code({}, 10), "0000000000");
    EXPECT_EQ(code({0xab, 0xcd, 0xef}, 6), "ABCDEF") << "letters are always upper case";
}

TEST(TransponderCodeTest, ReversalTurnsAllBytesNotPairs) {
    EXPECT_EQ(code(kFiveBytes, 10, true), "9A78563412");
    EXPECT_EQ(code(kFiveBytes, 4, true), "3412") << "the cut still keeps the last digits";
    EXPECT_EQ(code(kFiveBytes, 14, true), "00009A78563412");
}

TEST(TransponderCodeTest, LongMessagesKeepTheirLastDigits) {
    Bytes data(30, 0x00);
    data[28] = 0xC0;
    data[29] = 0xDE;
    EXPECT_EQ(code(data, 22), std::string(18, '0') + "C0DE");
}

TEST(TransponderCodeTest, CardLengthIsBoundedToEvenValuesFrom2To22) {
    const std::vector<std::pair<int, int>> cases = {
        {0, 10},  {10, 10}, {2, 2},   {22, 22},   {1, 2},  {3, 2},
        {15, 14}, {23, 22}, {49, 22}, {1000, 22}, {-1, 2}, {-2147483647 - 1, 2}};
    for (const auto& [configured, used] : cases)
        EXPECT_EQ(boundedCardLength(configured), used) << configured;
    EXPECT_EQ(code(kFiveBytes, 15), "0000123456789A") << "15 is formatted as 14";
}

TEST(TransponderCodeTest, HexTextHasNoTerminator) {
    char text[5] = {'x', 'x', 'x', 'x', 'x'};
    const uint8_t bytes[] = {0x0F, 0xA0};
    toHexText(text, bytes, 2);
    EXPECT_EQ(std::string(text, 5), "0FA0x");
}

// Decoding inside the engine: settings come through the binding at every frame.
class DecodeFrameTest : public ::testing::Test {
protected:
    std::string decodeCard(uint8_t subCode, const Bytes& data) {
        link.queue(sim::readerFrame(sim::cardContent(subCode, data)));
        engine.receivePass();
        engine.reset();
        return binding.codes.empty() ? "" : binding.codes.back();
    }

    test::ScriptedLink link;
    test::RecordingBinding binding;
    ReaderProtocol engine{link, binding};
};

TEST_F(DecodeFrameTest, HitagReversalOnlyForSubCodesTwoAndThree) {
    EXPECT_EQ(decodeCard(1, kFiveBytes), "123456789A");
    EXPECT_EQ(decodeCard(2, kFiveBytes), "9A78563412");
    EXPECT_EQ(decodeCard(3, kFiveBytes), "9A78563412");
    EXPECT_EQ(decodeCard('2', kFiveBytes), "123456789A") << "the character '2' is no Hitag type";
    binding.hitag = false;
    EXPECT_EQ(decodeCard(2, kFiveBytes), "123456789A");
}

TEST_F(DecodeFrameTest, EveryCodeIsExactlyTheCurrentLength) {
    binding.length = 16;
    EXPECT_EQ(decodeCard(1, {1, 2, 3, 4, 5, 6, 7, 8}), "0102030405060708");
    binding.length = 10;
    EXPECT_EQ(decodeCard(1, {1, 2, 3, 4, 5, 6, 7, 8}), "0405060708");
    binding.length = 0;
    EXPECT_EQ(decodeCard(1, kFiveBytes), "123456789A");
}

} // namespace
} // namespace pelvaro
