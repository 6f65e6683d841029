// The program end to end under an X server of its own, with no window
// manager: its main window as it first comes up, and the way out through its
// menu by real keystrokes.

#include "tests/e2e/DesktopProgramTest.h"
#include "tests/support/Polling.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <string_view>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr auto kExitTime = 5s;

// Only the ports mapped here exist for the program: it never touches the
// machine's serial ports.
constexpr const char* kNoMachinePorts = "[Ports]\nDefaults=0\n";

struct Geometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool viewable = false;
};

std::ostream& operator<<(std::ostream& out, const Geometry& geometry) {
    return out << geometry.width << "x" << geometry.height << "+" << geometry.x << "+" << geometry.y
               << (geometry.viewable ? "" : " (not shown)");
}

class ProgramWindowTest : public test::DesktopProgramTest {
protected:
    ProgramWindowTest() : DesktopProgramTest(kScreenWidth, kScreenHeight) {}

    // Starts the program with this settings file and waits for its main window.
    void start(const std::string& settings) {
        program.writeSettings(settings);
        const auto found = program.start();
        ASSERT_TRUE(found) << "no window \"Pelvaro Version3\"";
        window = *found;
    }

    std::optional<Geometry> geometry() const {
        const auto lines = display.run({"xwininfo", "-id", window});
        if (!lines)
            return std::nullopt;
        Geometry geometry;
        for (const std::string& line : *lines) {
            const std::string_view text =
                std::string_view(line).substr(std::min(line.find_first_not_of(' '), line.size()));
            for (const auto& [label, field] :
                 {std::pair{std::string_view("Absolute upper-left X:"), &Geometry::x},
                  {std::string_view("Absolute upper-left Y:"), &Geometry::y},
                  {std::string_view("Width:"), &Geometry::width},
                  {std::string_view("Height:"), &Geometry::height}}) {
                if (text.starts_with(label))
                    geometry.*field = std::atoi(text.data() + label.size());
            }
            if (text.starts_with("Map State:"))
                geometry.viewable = text.find("IsViewable") != std::string_view::npos;
        }
        return geometry;
    }

    // The window's geometry once it is on the screen with this size; the
    // start-up sequence may resize it after it first appears. Before it is
    // shown, the window may be caught between being sized and being placed.
    std::optional<Geometry> waitForSize(int width, int height) const {
        return waitFor([&]() -> std::optional<Geometry> {
            const auto now = geometry();
            return now && now->viewable && now->width == width && now->height == height
                       ? now
                       : std::nullopt;
        });
    }

    void expectCentred(const Geometry& geometry) const {
        constexpr int kTolerance = 2;
        EXPECT_NEAR(geometry.x, (kScreenWidth - geometry.width) / 2, kTolerance) << geometry;
        EXPECT_NEAR(geometry.y, (kScreenHeight - geometry.height) / 2, kTolerance) << geometry;
    }

    // Datei → Beenden as a user types it, then the program must end cleanly.
    void quitThroughMenu() {
        // No window manager gives the window the focus; keystrokes go to it.
        ASSERT_TRUE(display.run({"xdotool", "windowfocus", "--sync", window}));
        ASSERT_TRUE(display.run({"xdotool", "key", "alt+d"}));
        const auto menuOpen = waitFor([&] {
            const auto shown =
                display.run({"xdotool", "search", "--onlyvisible", "--classname", "^pelvaro$"});
            return shown && std::ranges::any_of(*shown, [&](auto& id) { return id != window; });
        });
        ASSERT_TRUE(menuOpen) << "alt+d opened no menu";
        ASSERT_TRUE(display.run({"xdotool", "key", "b"}));
        const std::optional<int> status = program.process().waitForExit(kExitTime);
        ASSERT_TRUE(status) << "the program did not end";
        EXPECT_EQ(*status, 0);
        EXPECT_EQ(program.process().errorOutput(), "");
    }

    std::string window;
};

TEST_F(ProgramWindowTest, ListPageComesUpCentredAndTheMenuEndsTheProgram) {
    ASSERT_NO_FATAL_FAILURE(start(kNoMachinePorts));
    const auto shown = waitForSize(540, 460);
    ASSERT_TRUE(shown) << "window is " << geometry().value_or(Geometry{});
    expectCentred(*shown);
    quitThroughMenu();
}

TEST_F(ProgramWindowTest, AutostartComesUpOnTheRedirectPage) {
    // Port 7 is not mapped, so it does not exist.
    ASSERT_NO_FATAL_FAILURE(start(std::string("[Global]\nAutostart=1\nAutosave=1\n"
                                              "[Serial]\nPort=7\n") +
                                  kNoMachinePorts));
    // Redirect mode starts with the program and cannot open Com7: the error
    // box, before the window is shown, answered as a user does.
    const auto box = waitFor([&] { return display.findWindow("^Fehler$"); });
    ASSERT_TRUE(box) << "no error box";
    ASSERT_TRUE(display.run({"xdotool", "windowfocus", "--sync", *box}));
    ASSERT_TRUE(display.run({"xdotool", "key", "Return"}));
    ASSERT_TRUE(waitForSize(420, 320)) << "window is " << geometry().value_or(Geometry{});
    quitThroughMenu();
}

} // namespace
} // namespace pelvaro
