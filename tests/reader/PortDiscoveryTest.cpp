#include "reader/PortDiscovery.h"

#include "fileio/ProfileFile.h"
#include "settings/PortSettings.h"
#include "tests/support/TempDir.h"
#include "tools/simulator/ReaderSimulator.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

TEST(PortDiscoveryTest, FindsExactlyTheMappedLinesThatOpen) {
    test::TempDir dir;
    const auto ini = dir.path() / kSettingsFileName;
    sim::ReaderSimulator com1;
    sim::ReaderSimulator com3;
    sim::ReaderSimulator com7;
    sim::ReaderSimulator busy;
    ASSERT_TRUE(writeProfileString(ini, kPortsSection, "Defaults", "0"));
    ASSERT_TRUE(com1.mapAsPort(ini, 1));
    ASSERT_TRUE(com3.mapAsPort(ini, 3));
    ASSERT_TRUE(com7.mapAsPort(ini, 7));
    ASSERT_TRUE(busy.mapAsPort(ini, 9));
    ASSERT_TRUE(writePortMapping(ini, 12, (dir.path() / "unplugged").string()));

    T_Serial_Interface otherProgram(false);
    ASSERT_EQ(otherProgram.openDevice(busy.devicePath(), 9600), OpenResult::Opened);

    T_Serial_Interface port(false, PortMap(ini));
    EXPECT_EQ(findOpenablePorts(port), (std::vector<int>{1, 3, 7}));
    EXPECT_FALSE(port.isOpen()) << "every probed port is closed again";
    EXPECT_EQ(port.open(3, 9600), OpenResult::Opened) << "and can be opened again";
}

TEST(PortDiscoveryTest, NoPortsGiveAnEmptyList) {
    test::TempDir dir;
    const auto ini = dir.path() / kSettingsFileName;
    ASSERT_TRUE(writeProfileString(ini, kPortsSection, "Defaults", "0"));
    T_Serial_Interface port(false, PortMap(ini));
    EXPECT_TRUE(findOpenablePorts(port).empty());
}

} // namespace
} // namespace pelvaro
