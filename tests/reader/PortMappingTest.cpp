#include "reader/PortMapping.h"

#include "fileio/FileLocations.h"
#include "fileio/ProfileFile.h"
#include "settings/PortSettings.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

TEST(PortMappingTest, FixedDefaultsOfThePlatform) {
#ifdef _WIN32
    const std::vector<std::pair<int, std::string>> cases = {
        {1, "\\\\.\\COM1"}, {10, "\\\\.\\COM10"}, {255, "\\\\.\\COM255"}};
    const std::vector<int> none = {0, -1, 256};
#else
    const std::vector<std::pair<int, std::string>> cases = {
        {1, "/dev/ttyS0"},     {32, "/dev/ttyS31"},  {33, "/dev/ttyUSB0"},
        {64, "/dev/ttyUSB31"}, {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}};
    const std::vector<int> none = {0, -1, 97, 255, 256};
#endif
    for (const auto& [port, device] : cases)
        EXPECT_EQ(PortMap().devicePath(port), device) << port;
    for (const int port : none)
        EXPECT_EQ(PortMap().devicePath(port), std::nullopt) << port;
}

TEST(PortMappingTest, SettingsFileLinesOverrideTheDefaults) {
    test::TempDir dir;
    const auto ini = dir.path() / kSettingsFileName;
    const PortMap ports(ini);
    EXPECT_EQ(ports.devicePath(3), defaultDevicePath(3)) << "no file: defaults";

    ASSERT_TRUE(writeProfileString(ini, "Serial", "Port", "3"));
    ASSERT_TRUE(writePortMapping(ini, 3, "/dev/pts/9"));
    ASSERT_TRUE(writePortMapping(ini, 200, "/dev/ttyUSB5"));
    EXPECT_EQ(ports.devicePath(3), "/dev/pts/9") << "read at every look-up";
    EXPECT_EQ(ports.devicePath(200), "/dev/ttyUSB5") << "high numbers only by mapping";
    EXPECT_EQ(ports.devicePath(4), defaultDevicePath(4));
    EXPECT_EQ(readProfileString(ini, "Serial", "Port"), "3") << "other sections stay";

    ASSERT_TRUE(writePortMapping(ini, 3, ""));
    EXPECT_EQ(ports.devicePath(3), defaultDevicePath(3)) << "an empty line falls back to the default";

    ASSERT_TRUE(writeProfileString(ini, kPortsSection, "Defaults", "0"));
    EXPECT_EQ(ports.devicePath(3), std::nullopt) << "only mapped ports";
    EXPECT_EQ(ports.devicePath(200), "/dev/ttyUSB5");
}

} // namespace
} // namespace pelvaro
