// Keystrokes on a real Wayland compositor: a headless sway, with a foot
// terminal as the client that has the focus. The virtual keyboard, the
// seat's first, types every text exactly from the first on, whatever
// characters it holds and however many.

#include "keyboard/KeyboardBackend.h"
#include "keyboard/TextTyping.h"
#include "keyboard/wayland/VirtualKeyboardInjector.h"
#include "keyboard/xkb/UserKeymap.h"
#include "tests/support/Polling.h"
#include "tests/support/WaylandSession.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::kPatience;

class WaylandKeystrokeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::WaylandSession::possible())
            GTEST_SKIP() << "a Wayland session needs root to run as its own user";
        session = std::make_unique<test::WaylandSession>();
        terminal = std::make_unique<test::WaylandSession::Terminal>(*session);
        // This process is a client of the session too.
        setenv("WAYLAND_DISPLAY", session->socketPath().c_str(), 1);
        unsetenv("DISPLAY");
    }
    void TearDown() override { unsetenv("WAYLAND_DISPLAY"); }

    std::string typed(KeystrokeInjector& injector, std::string_view text) {
        EXPECT_TRUE(sendKeystrokes(injector, text, true).typedWhole());
        return terminal->receiveUntil("\r", kPatience);
    }

    std::unique_ptr<test::WaylandSession> session;
    std::unique_ptr<test::WaylandSession::Terminal> terminal;
};

TEST_F(WaylandKeystrokeTest, VirtualKeyboardTypesEveryTextExactly) {
    // More characters than one keyboard map can hold (300 ideographs, three
    // bytes each in UTF-8): the map starts afresh.
    std::string many;
    for (unsigned character = 0x4E00; character < 0x4E00 + 300; ++character)
        many += {static_cast<char>(0xE0 | character >> 12),
                 static_cast<char>(0x80 | (character >> 6 & 0x3F)),
                 static_cast<char>(0x80 | (character & 0x3F))};
    // Typed right after the keyboard appears, on a seat that had none.
    const auto injector = VirtualKeyboardInjector::open().injector;
    ASSERT_NE(injector, nullptr);
    for (const std::string_view text :
         {std::string_view("0A1B2C3D4E"), std::string_view("M\u00FCller-7\u00DF \u20AC\u00B5"),
          std::string_view("\u0418\u0432\u0430\u043D\u043E\u0432-42"),
          std::string_view("0A1B2C3D4E"), std::string_view(many),
          std::string_view("\u0418\u0432\u0430\u043D\u043E\u0432-0A")})
        EXPECT_EQ(typed(*injector, text), std::string(text) + "\r");
}

TEST_F(WaylandKeystrokeTest, WaylandSessionChoosesTheVirtualKeyboard) {
    const KeyboardBackendChoice choice = chooseKeyboardBackend();
    ASSERT_NE(choice.injector, nullptr) << keystrokesImpossibleText(choice);
    EXPECT_EQ(choice.name, "virtual-keyboard");
    EXPECT_EQ(typed(*choice.injector, "42"), "42\r");
    // The map uinput would type through, handed out by the compositor: once a
    // keyboard exists, ours.
    const auto keymap = waylandKeymap();
    ASSERT_TRUE(keymap);
    EXPECT_NE(keymap->find("xkb_symbols"), std::string::npos);
    EXPECT_EQ(chooseKeyboardBackend(forcedBackend("xtest")).injector, nullptr)
        << "no X server here";
}

TEST(WaylandWithoutVirtualKeyboard, FallsBackToUinput) {
    if (!test::WaylandSession::possible())
        GTEST_SKIP() << "a Wayland session needs root to run as its own user";
    const test::WaylandSession weston(test::WaylandSession::Compositor::Weston);
    setenv("WAYLAND_DISPLAY", weston.socketPath().c_str(), 1);
    const KeyboardBackendChoice choice = chooseKeyboardBackend();
    ASSERT_GE(choice.report.size(), 2u);
    EXPECT_EQ(choice.report[0], "virtual-keyboard: der Wayland-Compositor " + weston.socketPath() +
                                    " bietet keine virtuelle Tastatur.");
    EXPECT_TRUE(choice.report.back().starts_with("uinput: "));
    if (!std::filesystem::exists("/dev/uinput")) {
        EXPECT_EQ(choice.injector, nullptr);
        EXPECT_NE(keystrokesImpossibleText(choice).find("modprobe uinput"), std::string::npos);
    }
    unsetenv("WAYLAND_DISPLAY");
}

} // namespace
} // namespace pelvaro
