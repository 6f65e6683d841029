// The program under a window manager (openbox) on an X server of the test's
// own: its outer size with the manager's frame, and, on a desktop without a
// notification area, a window that automatic minimising never hides beyond
// reach.

#include "tests/e2e/DesktopProgramTest.h"
#include "tests/e2e/DesktopRig.h"
#include "tests/support/Polling.h"
#include "tools/simulator/ReaderSimulator.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::kPatience;
using test::waitFor;

class WindowManagerTest : public test::DesktopProgramTest {
protected:
    WindowManagerTest() : DesktopProgramTest(1024, 768) {}

    void SetUp() override {
        windowManager = test::startWindowManager(display);
        ASSERT_TRUE(windowManager) << "no window manager";
    }

    void start(const std::string& settings) {
        program.writeSettings(settings + "[Ports]\nDefaults=0\n");
        ASSERT_TRUE(reader.mapAsPort(program.settingsFile(), 1));
        const auto found = program.start();
        ASSERT_TRUE(found) << "no main window";
        window = *found;
    }

    bool outerSizeBecomes(int width, int height) {
        const test::OuterSize expected{width, height};
        const bool reached = waitFor([&] { return outerSize() == expected; }, 5s);
        EXPECT_TRUE(reached) << "outer size " << outerSize().width << "x" << outerSize().height
                             << ", not " << width << "x" << height;
        return reached;
    }
    test::OuterSize outerSize() const {
        return test::outerSize(display, window).value_or(test::OuterSize{});
    }
    bool stateBecomes(const std::string& state) {
        return waitFor([&] { return test::windowState(display, window) == state; });
    }

    std::unique_ptr<test::ChildProcess> windowManager;
    sim::ReaderSimulator reader;
    std::string window;
};

TEST_F(WindowManagerTest, OuterSizeIsThePagesAtTheFirstShowAndAfterEveryPageChange) {
    ASSERT_NO_FATAL_FAILURE(start(""));
    ASSERT_TRUE(outerSizeBecomes(540, 460));
    const auto placed = display.run({"xdotool", "getwindowgeometry", window});
    xdotool({"windowactivate", "--sync", window});
    xdotool({"key", "ctrl+Tab"});
    EXPECT_TRUE(outerSizeBecomes(420, 320));
    xdotool({"key", "ctrl+shift+Tab"});
    EXPECT_TRUE(outerSizeBecomes(540, 460));
    ASSERT_TRUE(placed);
    EXPECT_EQ(display.run({"xdotool", "getwindowgeometry", window}), placed)
        << "moved by the page changes";
}

TEST_F(WindowManagerTest, WithoutANotificationAreaTheWindowIsMinimisedNotHidden) {
    // Automatic minimising with redirect mode started with the program.
    ASSERT_NO_FATAL_FAILURE(start("[Global]\nAutostart=1\nSysTray=1\n[Serial]\nPort=1\n"));
    ASSERT_TRUE(reader.waitForProgram(kPatience)) << "redirect mode did not start";
    std::this_thread::sleep_for(1s); // where its hide request would have come
    EXPECT_EQ(test::windowState(display, window), "Normal");

    xdotool({"windowminimize", window});
    EXPECT_TRUE(stateBecomes("Iconic")) << "iconified, for the task bar to bring back";
    xdotool({"windowactivate", window});
    ASSERT_TRUE(stateBecomes("Normal"));

    // A panel with a notification area comes up: from the next minimise on,
    // the window goes there.
    test::NotificationArea area(display.name());
    const auto panel = test::startPanel(display, area);
    ASSERT_TRUE(panel) << "no notification area";
    const bool iconShown =
        minimiseUntil(window, [&] { return area.icon("pelvaro").has_value(); });
    EXPECT_TRUE(iconShown) << "no icon";
    EXPECT_TRUE(stateBecomes("Withdrawn"));
}

} // namespace
} // namespace pelvaro
