#include "text/DecimalText.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace pelvaro {
namespace {

std::string decimal(std::vector<uint8_t> bytes) {
    return CodeToDecimal(bytes);
}

// Long division of the big-endian number by ten, one digit at a time: slow,
// but nothing like the code under test.
std::string decimalByLongDivision(std::vector<uint8_t> bytes) {
    std::string digits;
    while (std::any_of(bytes.begin(), bytes.end(), [](uint8_t byte) { return byte != 0; })) {
        unsigned remainder = 0;
        for (uint8_t& byte : bytes) {
            const unsigned value = remainder * 256 + byte;
            byte = static_cast<uint8_t>(value / 10);
            remainder = value % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
    }
    return digits.empty() ? "0" : digits;
}

TEST(DecimalTextTest, WorkedValues) {
    EXPECT_EQ(decimal({0x00, 0xAB, 0xCD, 0xEF, 0x12}), "2882400018");
    EXPECT_EQ(decimal(std::vector<uint8_t>(9, 0xFF)), "4722366482869645213695");
    EXPECT_EQ(decimal({0x00, 0x00, 0x00, 0x00, 0x01}), "1");
    EXPECT_EQ(decimal(std::vector<uint8_t>(5, 0x00)), "0");
    EXPECT_EQ(decimal({}), "0");
}

TEST(DecimalTextTest, TenAndElevenByteValuesAreWrittenInFull) {
    EXPECT_EQ(decimal(std::vector<uint8_t>(10, 0xFF)), "1208925819614629174706175");
    EXPECT_EQ(decimal(std::vector<uint8_t>(11, 0xFF)), "309485009821345068724781055");
    // 10^22, the first value with 23 digits.
    EXPECT_EQ(decimal({0x02, 0x1E, 0x19, 0xE0, 0xC9, 0xBA, 0xB2, 0x40, 0x00, 0x00}),
              "10000000000000000000000");
}

TEST(DecimalTextTest, InnerZeroDigitsAreKept) {
    EXPECT_EQ(decimal({0x3B, 0x9A, 0xC9, 0xFF}), "999999999");
    EXPECT_EQ(decimal({0x3B, 0x9A, 0xCA, 0x00}), "1000000000");
    EXPECT_EQ(decimal({0x0D, 0xE0, 0xB6, 0xB3, 0xA7, 0x64, 0x00, 0x00}), "1000000000000000000");
    EXPECT_EQ(decimal({0x0D, 0xE0, 0xB6, 0xB3, 0xA7, 0x64, 0x00, 0x01}), "1000000000000000001");
}

TEST(DecimalTextTest, RandomCodesMatchLongDivision) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byteValue(0, 255);
    for (size_t length = 1; length <= 32; ++length) {
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> bytes(length);
            for (uint8_t& byte : bytes)
                byte = static_cast<uint8_t>(byteValue(random));
            // Leading zero bytes, as short cards padded to the card length have.
            std::fill_n(bytes.begin(), round % 4 == 0 ? length / 2 : 0, 0);
            ASSERT_EQ(CodeToDecimal(bytes), decimalByLongDivision(bytes)) << "length " << length;
        }
    }
}

} // namespace
} // namespace pelvaro
