// The notification-area icon on a desktop as users have it: an X server of
// the test's own with a window manager (openbox) and a panel whose
// notification area takes the icon (trayer). The program runs with a
// simulated reader on Com1; the mouse and keys come through xdotool.

#include "tests/e2e/DesktopProgramTest.h"
#include "tests/e2e/DesktopRig.h"
#include "tests/e2e/NotificationArea.h"
#include "tests/support/Polling.h"
#include "tools/simulator/ReaderSimulator.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using test::kPatience;
using test::LedColour;
using test::waitFor;

constexpr const char* kProgramClass = "pelvaro";

class TrayTest : public test::DesktopProgramTest {
protected:
    TrayTest() : DesktopProgramTest(1024, 768) {}

    void SetUp() override {
        windowManager = test::startWindowManager(display);
        ASSERT_TRUE(windowManager) << "no window manager";
        panel = test::startPanel(display, area);
        ASSERT_TRUE(panel) << "no notification area";
    }

    void start(bool autostart, bool automaticMinimising) {
        program.writeSettings(std::string("[Global]\nAutostart=") + (autostart ? "1" : "0") +
                              "\nSysTray=" + (automaticMinimising ? "1" : "0") +
                              "\n[Serial]\nPort=1\n[Ports]\nDefaults=0\n");
        ASSERT_TRUE(reader.mapAsPort(program.settingsFile(), 1));
        const auto found = program.start();
        ASSERT_TRUE(found) << "no main window";
        window = std::stoul(*found);
    }

    // The icon once the panel has placed it and the program has painted it
    // there: before that a click may miss it or go unheard.
    std::optional<unsigned long> waitForIcon() {
        return waitFor([&] {
            const auto icon = area.icon(kProgramClass);
            return icon && area.colour(*icon) != LedColour::Other ? icon : std::nullopt;
        });
    }

    // An icon docked but never painted is an image Qt could not draw.
    std::string whyNoIcon() const {
        return area.icon(kProgramClass) ? "the icon shows no LED (Qt's SVG image plugins missing?)"
                                        : "no icon in the notification area";
    }

    bool waitForColour(unsigned long icon, LedColour colour) {
        const bool shown = waitFor([&] { return area.colour(icon) == colour; });
        EXPECT_TRUE(shown) << "the icon is " << toString(area.colour(icon)) << ", not "
                           << toString(colour);
        return shown;
    }

    // The window is back and the icon gone, as after a double click or "Anzeigen".
    void expectWindowBackAndIconGone() {
        EXPECT_TRUE(waitFor([&] { return area.viewable(window); })) << "the window is hidden";
        EXPECT_TRUE(waitFor([&] { return !area.icon(kProgramClass); })) << "the icon stays";
    }

    void pointAt(unsigned long icon) {
        const test::ScreenPoint centre = area.centre(icon);
        xdotool({"mousemove", std::to_string(centre.x), std::to_string(centre.y)});
    }

    // A right click on the icon, then the menu item chosen with the keys.
    void chooseFromTrayMenu(unsigned long icon, const std::vector<std::string>& keys) {
        // A click while the program is busy may go unheard: it is clicked again.
        const auto menuShown = [&] { return area.showsPopup(kProgramClass); };
        ASSERT_TRUE(waitFor([&] {
            pointAt(icon);
            xdotool({"click", "3"});
            return waitFor(menuShown, std::chrono::seconds(3));
        })) << "no tray menu";
        std::vector<std::string> arguments = {"key", "--delay", "50"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        xdotool(arguments);
    }

    test::NotificationArea area{display.name()};
    std::unique_ptr<test::ChildProcess> windowManager;
    std::unique_ptr<test::ChildProcess> panel;
    sim::ReaderSimulator reader;
    unsigned long window = 0;
};

TEST_F(TrayTest, AutostartGoesToTheTrayWhereTheLedFollowsTheCards) {
    ASSERT_NO_FATAL_FAILURE(start(true, true));
    const auto icon = waitForIcon();
    ASSERT_TRUE(icon) << whyNoIcon();
    EXPECT_TRUE(waitFor([&] { return !area.viewable(window); })) << "the window stays";
    waitForColour(*icon, LedColour::YellowLit);

    const uint8_t card[] = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E};
    EXPECT_TRUE(reader.sendCard(card).acknowledged);
    waitForColour(*icon, LedColour::GreenLit);
    EXPECT_TRUE(reader.sendStatus('e').acknowledged); // the card was taken away
    waitForColour(*icon, LedColour::YellowLit);

    pointAt(*icon);
    EXPECT_TRUE(waitFor([&] { return area.showsPopup(kProgramClass); })) << "no tip";

    xdotool({"click", "--repeat", "2", "--delay", "80", "1"});
    expectWindowBackAndIconGone();
}

TEST_F(TrayTest, MinimisingGoesToTheTrayAndAnzeigenBringsTheWindowBack) {
    ASSERT_NO_FATAL_FAILURE(start(false, true));
    ASSERT_TRUE(waitFor([&] { return area.viewable(window); }));
    ASSERT_TRUE(minimiseUntil(std::to_string(window), [&] { return area.icon(kProgramClass); }));
    const auto icon = waitForIcon();
    ASSERT_TRUE(icon) << whyNoIcon();
    EXPECT_FALSE(area.viewable(window));
    waitForColour(*icon, LedColour::YellowUnlit); // redirect mode is off

    chooseFromTrayMenu(*icon, {"Down", "Return"});
    expectWindowBackAndIconGone();
}

TEST_F(TrayTest, WithoutAutomaticMinimisingTheWindowMinimisesAsUsual) {
    ASSERT_NO_FATAL_FAILURE(start(false, false));
    ASSERT_TRUE(waitFor([&] { return area.viewable(window); }));
    EXPECT_TRUE(minimiseUntil(std::to_string(window), [&] {
        return test::windowState(display, std::to_string(window)) == "Iconic";
    })) << "not minimised";
    EXPECT_FALSE(area.icon(kProgramClass));
}

TEST_F(TrayTest, BeendenInTheTrayMenuEndsTheProgram) {
    ASSERT_NO_FATAL_FAILURE(start(true, true));
    const auto icon = waitForIcon();
    ASSERT_TRUE(icon) << whyNoIcon();
    chooseFromTrayMenu(*icon, {"Down", "Down", "Return"});
    const std::optional<int> status = program.process().waitForExit(kPatience);
    ASSERT_TRUE(status) << "the program did not end";
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(area.icon(kProgramClass));
}

} // namespace
} // namespace pelvaro
