#include "app/SettingsFile.h"

#include "fileio/ProfileFile.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace pelvaro {
namespace {

TEST(ProfileIntegerTest, DecimalAndHexadecimalElseTheDefault) {
    const std::vector<std::pair<std::optional<std::string>, int>> cases = {
        {"7", 7},
        {"0x0E", 14},
        {"0X1f", 31},
        {"-3", -3},
        {"+4", 4},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {std::nullopt, 99},
        {"", 99},
        {"abc", 99},
        {"12abc", 99},
        {"0x", 99},
        {"1 2", 99},
        {"2147483648", 99},
        {"99999999999", 99}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(profileInteger(text, 99), value) << text.value_or("<missing>");
}

class SettingsFileTest : public ::testing::Test {
protected:
    std::string contents() const {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    test::TempDir dir;
    std::filesystem::path file = dir.path() / "Pelvaro.ini";
};

TEST_F(SettingsFileTest, MissingFileGivesTheDefaultsAndIsNotCreated) {
    const StoredSettings settings = readStoredSettings(file);
    EXPECT_EQ(settings.port, 0);
    EXPECT_EQ(settings.cardLength, 10);
    EXPECT_TRUE(settings.hitagInverse);
    EXPECT_FALSE(settings.lineFeed || settings.sysTray || settings.sendPersonnelNumber ||
                 settings.autostart || settings.autosave);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(SettingsFileTest, WindowsFileWithHexBooleansAndJunk) {
    std::ofstream(file, std::ios::binary)
        << "[Serial]\r\nPort=7\r\nCardLen=0x0E\r\nHitag_inv=kaputt\r\n"
           "[Global]\r\nLineFeed=2\r\nSysTray=0\r\nAutostart=1\r\n";
    const StoredSettings settings = readStoredSettings(file);
    EXPECT_EQ(settings.port, 7);
    EXPECT_EQ(settings.cardLength, 14);
    EXPECT_TRUE(settings.hitagInverse) << "not a number: the default";
    EXPECT_TRUE(settings.lineFeed) << "any value but 0 is on";
    EXPECT_FALSE(settings.sysTray);
    EXPECT_TRUE(settings.autostart);
    EXPECT_FALSE(settings.autosave);
}

TEST_F(SettingsFileTest, NewFileHasSerialThenGlobalInKeyOrder) {
    StoredSettings settings;
    settings.port = 3;
    settings.hitagInverse = false;
    settings.autosave = true;
    ASSERT_TRUE(writeStoredSettings(file, settings));
    EXPECT_EQ(contents(), "[Serial]\nPort=3\nCardLen=10\nHitag_inv=0\n[Global]\nLineFeed=0\n"
                          "SysTray=0\nSendPSNR=0\nAutostart=0\nAutosave=1\n");
    EXPECT_EQ(readStoredSettings(file).port, 3);
}

TEST_F(SettingsFileTest, WritingKeepsEverythingElseOfTheFile) {
    const std::string before = "; by hand\r\n[Ports]\r\nCom3=/dev/ttyUSB0\r\n\r\n[Serial]\r\n"
                               "Port=3\r\nExtra=yes\r\n";
    std::ofstream(file, std::ios::binary) << before;
    StoredSettings settings;
    settings.port = 5;
    ASSERT_TRUE(writeStoredSettings(file, settings));
    EXPECT_EQ(contents(), "; by hand\r\n[Ports]\r\nCom3=/dev/ttyUSB0\r\n\r\n[Serial]\r\nPort=5\r\n"
                          "Extra=yes\r\nCardLen=10\r\nHitag_inv=1\r\n[Global]\r\nLineFeed=0\r\n"
                          "SysTray=0\r\nSendPSNR=0\r\nAutostart=0\r\nAutosave=0\r\n");
}

TEST_F(SettingsFileTest, WriteProtectedFileFailsAndStaysAsItWas) {
    std::ofstream(file, std::ios::binary) << "[Serial]\nPort=1\n";
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    EXPECT_FALSE(writeStoredSettings(file, StoredSettings{}));
    EXPECT_EQ(contents(), "[Serial]\nPort=1\n");
}

} // namespace
} // namespace pelvaro
