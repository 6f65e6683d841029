#include "reader/PortDiscovery.h"

#include "fileio/FileLocations.h"
#include "fileio/ProfileFile.h"
#include "settings/PortSettings.h"
#include "tests/support/TempDir.h"
#include "tools/simulator/ReaderSimulator.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

TEST(PortDiscoveryTest, FindsExactlyTheMappedLinesThatOpenAndWhyTheOthersDoNot) {
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
    const PortScan scan = findOpenablePorts(port);
    EXPECT_EQ(scan.openable, (std::vector<int>{1, 3, 7}));
    EXPECT_EQ(portProblemText(scan.problems.at(9)),
              busy.devicePath() + " wird von einem anderen Programm benutzt.");
    EXPECT_EQ(scan.problems.at(12).kind, PortProblem::Kind::Missing);
    EXPECT_EQ(portProblemText(scan.problems.at(2)), "keine Zuordnung in Pelvaro.ini.");
    EXPECT_FALSE(port.isOpen()) << "every probed port is closed again";
    EXPECT_EQ(port.open(3, 9600), OpenResult::Opened) << "and can be opened again";
}

TEST(PortDiscoveryTest, NoPortsGiveAnEmptyList) {
    test::TempDir dir;
    const auto ini = dir.path() / kSettingsFileName;
    ASSERT_TRUE(writeProfileString(ini, kPortsSection, "Defaults", "0"));
    T_Serial_Interface port(false, PortMap(ini));
    EXPECT_TRUE(findOpenablePorts(port).openable.empty());
}

} // namespace
} // namespace pelvaro
