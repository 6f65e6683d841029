// The program on an X server without the XTest extension: redirect mode has
// no way to type, so its automatic start is refused before the reader's port
// is opened, and the program says why.

#include "tests/e2e/DesktopProgram.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Polling.h"
#include "tools/simulator/ReaderSimulator.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

TEST(KeyboardRefusalTest, AutostartWithoutXTestIsRefusedBeforeThePortOpens) {
    const test::VirtualDisplay display(800, 600, {"-extension", "XTEST"});
    test::DesktopProgram program(display);
    sim::ReaderSimulator reader;
    program.writeSettings("[Global]\nAutostart=1\nSysTray=1\n[Serial]\nPort=1\n"
                          "[Ports]\nDefaults=0\n");
    ASSERT_TRUE(reader.mapAsPort(program.settingsFile(), 1));
    ASSERT_TRUE(program.start());
    EXPECT_TRUE(test::waitFor([&] { return display.findWindow("^Fehler$"); })) << "no error box";
    EXPECT_FALSE(reader.waitForProgram(1s)) << "the port was opened";

    test::ChildProcess info({(program.directory() / "pelvaro").string(), "--keyboard-info"},
                            display.environment());
    EXPECT_EQ(info.readLine(test::kPatience), "xtest: kein X-Server mit XTest erreichbar (" +
                                                  display.name() + " bietet kein XTest).");
    EXPECT_EQ(info.readLine(test::kPatience),
              "Tastatureingaben sind nicht möglich: kein X-Server mit XTest erreichbar (" +
                  display.name() + " bietet kein XTest).");
    EXPECT_EQ(info.waitForExit(test::kPatience), 0);
}

} // namespace
} // namespace pelvaro
