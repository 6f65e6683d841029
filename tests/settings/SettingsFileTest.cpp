// Pelvaro.ini as each section's reader and writer sees it: defaults, files
// written by hand or by Windows, and writes that keep every other byte.

#include "settings/DeliverySettings.h"
#include "settings/GlobalSettings.h"
#include "settings/KeyboardSettings.h"
#include "settings/OutputSettings.h"
#include "settings/PersonnelServerSettings.h"
#include "settings/PortSettings.h"
#include "settings/ProfileNumbers.h"
#include "settings/SerialSettings.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <tuple>
#include <vector>

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
    const SerialSettings serial = readSerialSettings(file);
    EXPECT_EQ(serial.port, 0);
    EXPECT_EQ(serial.cardLength, 10);
    EXPECT_TRUE(serial.hitagInverse);
    const GlobalSettings global = readGlobalSettings(file);
    EXPECT_FALSE(global.lineFeed || global.sysTray || global.sendPersonnelNumber ||
                 global.autostart || global.autosave);
    EXPECT_EQ(readOutputSettings(file), OutputSettings{});
    EXPECT_EQ(readDeliverySettings(file), DeliverySettings{});
    EXPECT_FALSE(readPersonnelServerSettings(file).enabled());
    const KeyboardSettings keyboard = readKeyboardSettings(file);
    EXPECT_TRUE(keyboard.backend.empty() && keyboard.layout.empty() && keyboard.variant.empty());
    const PortEntry port = readPortEntry(file, 3);
    EXPECT_TRUE(port.device.empty());
    EXPECT_FALSE(port.onlyMapped);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(SettingsFileTest, WindowsFileWithHexBooleansAndJunk) {
    std::ofstream(file, std::ios::binary)
        << "[Serial]\r\nPort=7\r\nCardLen=0x0E\r\nHitag_inv=kaputt\r\n"
           "[Global]\r\nLineFeed=2\r\nSysTray=0\r\nAutostart=1\r\n";
    const SerialSettings serial = readSerialSettings(file);
    EXPECT_EQ(serial.port, 7);
    EXPECT_EQ(serial.cardLength, 14);
    EXPECT_TRUE(serial.hitagInverse) << "not a number: the default";
    const GlobalSettings global = readGlobalSettings(file);
    EXPECT_TRUE(global.lineFeed) << "any value but 0 is on";
    EXPECT_FALSE(global.sysTray);
    EXPECT_TRUE(global.autostart);
    EXPECT_FALSE(global.autosave);
}

// The same key names in several sections, and numbers the [Output] section
// reads by its own rules: decimal only, a hold time clamped rather than lost.
TEST_F(SettingsFileTest, EachSectionIsReadByItsOwnReader) {
    std::ofstream(file, std::ios::binary)
        << "[Keyboard]\r\nBackend=uinput\r\nLayout=de\r\nVariant=nodeadkeys\r\n"
           "[Output]\r\nTemplate=\" {hex} \"\r\nRepeatGuard=99999\r\nLog=0x1\r\nPort=9\r\n"
           "[Ports]\r\nCom3=/dev/ttyUSB7\r\nDefaults=0\r\nBackend=xtest\r\n"
           "[Serial]\r\nPort=4\r\nTemplate=x\r\n";
    EXPECT_EQ(readOutputSettings(file), (OutputSettings{" {hex} ", 3600, false}));
    const KeyboardSettings keyboard = readKeyboardSettings(file);
    EXPECT_EQ(keyboard.backend, "uinput");
    EXPECT_EQ(keyboard.layout, "de");
    EXPECT_EQ(keyboard.variant, "nodeadkeys");
    const PortEntry mapped = readPortEntry(file, 3);
    EXPECT_EQ(mapped.device, "/dev/ttyUSB7");
    EXPECT_TRUE(mapped.onlyMapped);
    EXPECT_TRUE(readPortEntry(file, 4).device.empty());
    EXPECT_EQ(readSerialSettings(file).port, 4);
}

// Targets end at the first gap; numbers out of range, however far, are
// clamped, and a number that is none gives the default.
TEST_F(SettingsFileTest, DeliverySectionByHandAndItsLimits) {
    const auto delivery = [&](const std::string& numbers) {
        std::ofstream(file, std::ios::binary)
            << "[Delivery]\r\nTarget1=https://a.example/in\r\nTarget2=mqtts://b:8883/t\r\n"
               "Target3=\r\nTarget4=http://stale\r\nListMode=0x1\r\nCaFile=/etc/ca.pem\r\n"
            << numbers;
        return readDeliverySettings(file);
    };
    const DeliverySettings read = delivery("Batch=7\r\nMaxQueued=500\r\n");
    EXPECT_EQ(read.targets, (std::vector<std::string>{"https://a.example/in", "mqtts://b:8883/t"}));
    EXPECT_EQ(read.batch, 7u);
    EXPECT_EQ(read.mostQueued, 500u);
    EXPECT_TRUE(read.listMode);
    EXPECT_EQ(read.caFile, "/etc/ca.pem");
    EXPECT_TRUE(read.clientCertificate.empty());
    const std::vector<std::tuple<std::string, size_t, size_t>> limits = {
        {"Batch=0\r\nMaxQueued=-5\r\n", 1, 1},
        {"Batch=1001\r\nMaxQueued=99999999999999999999999\r\n", 1000, 10000000},
        {"Batch=viele\r\nMaxQueued=1e6\r\n", 100, 100000},
    };
    for (const auto& [numbers, batch, mostQueued] : limits) {
        const DeliverySettings clamped = delivery(numbers);
        EXPECT_EQ(clamped.batch, batch) << numbers;
        EXPECT_EQ(clamped.mostQueued, mostQueued) << numbers;
    }
}

TEST_F(SettingsFileTest, DeliveryWrittenOnlyOnceConfiguredAndTargetsRemoved) {
    const std::string before = "[Serial]\r\nPort=3\r\n";
    std::ofstream(file, std::ios::binary) << before;
    ASSERT_TRUE(writeDeliverySettings(file, DeliverySettings{}));
    EXPECT_EQ(contents(), before) << "nothing configured: nothing changes";

    DeliverySettings three;
    three.targets = {"https://a/", "", "mqtt://b/t", "http://c/"};
    three.batch = 50;
    three.caFile = std::filesystem::path(u8"/etc/Zertifikate/Firmen-CA ä.pem");
    three.listMode = true;
    ASSERT_TRUE(writeDeliverySettings(file, three));
    DeliverySettings expected = three;
    expected.targets = {"https://a/", "mqtt://b/t", "http://c/"};
    EXPECT_EQ(readDeliverySettings(file), expected);

    DeliverySettings one = expected;
    one.targets = {"http://d/"};
    ASSERT_TRUE(writeDeliverySettings(file, one));
    EXPECT_EQ(readDeliverySettings(file), one);
    EXPECT_EQ(contents(), before + "[Delivery]\r\nTarget1=http://d/\r\nBatch=50\r\n"
                                   "MaxQueued=100000\r\nCaFile=/etc/Zertifikate/Firmen-CA ä.pem\r\n"
                                   "ClientCert=\r\nClientKey=\r\nListMode=1\r\n");
    // The last target removed is saved too.
    ASSERT_TRUE(writeDeliverySettings(file, DeliverySettings{}));
    EXPECT_TRUE(readDeliverySettings(file).targets.empty());
    EXPECT_EQ(contents().find("Target"), std::string::npos);
}

TEST_F(SettingsFileTest, PersonnelServerWrittenOnlyOnceConfiguredAndNeverAPassword) {
    const std::string before = "[Serial]\r\nPort=3\r\n";
    std::ofstream(file, std::ios::binary) << before;
    ASSERT_TRUE(writePersonnelServerSettings(file, PersonnelServerSettings{}));
    EXPECT_EQ(contents(), before) << "no server: nothing changes";

    const PersonnelServerSettings shared{
        "postgresql://pelvaro@db.example/pelvaro?sslmode=verify-full", "Pforte Süd"};
    ASSERT_TRUE(writePersonnelServerSettings(file, shared));
    EXPECT_EQ(readPersonnelServerSettings(file), shared);
    EXPECT_EQ(contents(), before + "[Personnel]\r\nServer=postgresql://pelvaro@db.example/"
                                   "pelvaro?sslmode=verify-full\r\nStation=Pforte Süd\r\n");
    // The server taken away again is saved too, and then means none.
    ASSERT_TRUE(writePersonnelServerSettings(file, PersonnelServerSettings{}));
    EXPECT_FALSE(readPersonnelServerSettings(file).enabled());

    for (const char* withPassword :
         {"postgresql://pelvaro:geheim@db/pelvaro",
          "postgres://db/pelvaro?sslmode=require&Password=x", "host=db dbname=pelvaro password=x"})
        EXPECT_TRUE(connectionNamesPassword(withPassword)) << withPassword;
    for (const char* without : {"postgresql://pelvaro@db:5432/pelvaro?sslmode=verify-full",
                                "postgresql://[::1]:5432/pelvaro", "postgresql://db/a:b@c"})
        EXPECT_FALSE(connectionNamesPassword(without)) << without;
}

TEST_F(SettingsFileTest, NewFileHasSerialThenGlobalInKeyOrder) {
    SerialSettings serial;
    serial.port = 3;
    serial.hitagInverse = false;
    GlobalSettings global;
    global.autosave = true;
    ASSERT_TRUE(writeSerialSettings(file, serial));
    ASSERT_TRUE(writeGlobalSettings(file, global));
    EXPECT_EQ(contents(), "[Serial]\nPort=3\nCardLen=10\nHitag_inv=0\n[Global]\nLineFeed=0\n"
                          "SysTray=0\nSendPSNR=0\nAutostart=0\nAutosave=1\n");
    EXPECT_EQ(readSerialSettings(file).port, 3);
}

TEST_F(SettingsFileTest, WritingKeepsEverythingElseOfTheFile) {
    const std::string before = "; by hand\r\n[Ports]\r\nCom3=/dev/ttyUSB0\r\n\r\n[Serial]\r\n"
                               "Port=3\r\nExtra=yes\r\n";
    std::ofstream(file, std::ios::binary) << before;
    SerialSettings serial;
    serial.port = 5;
    ASSERT_TRUE(writeSerialSettings(file, serial));
    ASSERT_TRUE(writeGlobalSettings(file, GlobalSettings{}));
    EXPECT_EQ(contents(), "; by hand\r\n[Ports]\r\nCom3=/dev/ttyUSB0\r\n\r\n[Serial]\r\nPort=5\r\n"
                          "Extra=yes\r\nCardLen=10\r\nHitag_inv=1\r\n[Global]\r\nLineFeed=0\r\n"
                          "SysTray=0\r\nSendPSNR=0\r\nAutostart=0\r\nAutosave=0\r\n");
}

TEST_F(SettingsFileTest, WriteProtectedFileFailsAndStaysAsItWas) {
    std::ofstream(file, std::ios::binary) << "[Serial]\nPort=1\n";
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    EXPECT_FALSE(writeSerialSettings(file, SerialSettings{}));
    EXPECT_FALSE(writeGlobalSettings(file, GlobalSettings{}));
    EXPECT_EQ(contents(), "[Serial]\nPort=1\n");
}

} // namespace
} // namespace pelvaro
