// The XTest injector typing into a real X client under an X server of the
// test's own, with real keyboard layouts: what arrives is exactly the text,
// whatever the layout, Caps Lock or a held Shift, and the keyboard is left as
// it was found.

#include "KeyboardObserver.h"
#include "KeystrokeOutput.h"
#include "KeystrokeReceiver.h"
#include "Polling.h"
#include "VirtualDisplay.h"
#include "XTestInjector.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string_view>

namespace pelvaro {
namespace {

using test::kPatience;
constexpr std::string_view kCode = "0A1B2C3D4E";
// Letters that the German layout swaps, umlauts, and AltGr characters there.
constexpr std::string_view kPersonnelNumber = "Zy-\u00C4\u00D6\u00DC\u00E4\u00F6\u00FC\u00DF"
                                              "\u20AC@\u00B5 4711";

using Received = test::ReceivedLine;

class KeystrokeE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(receiver.waitUntilReady(kPatience));
        injector = XTestInjector::open(display.name());
        ASSERT_NE(injector, nullptr);
    }

    void run(const std::vector<std::string>& command) {
        ASSERT_TRUE(display.run(command)) << command.front() << " failed";
    }

    // Everything the receiver reports up to its next Return.
    Received receiveLine() {
        Received received = receiver.receiveLine(kPatience);
        EXPECT_TRUE(received.complete) << "no Return arrived; got \"" << received.text << "\"";
        return received;
    }

    // Types the text with ENTER and returns what arrived.
    Received type(std::string_view text) {
        EXPECT_TRUE(sendKeystrokes(*injector, text, true)) << text;
        return receiveLine();
    }

    // Returns once the receiver has taken in every map change so far, and
    // makes the XTest keyboard the one the server last heard from.
    void settle() {
        ASSERT_TRUE(injector->pressEnter());
        ASSERT_EQ(receiveLine().text, "\n");
    }

    test::VirtualDisplay display{640, 480};
    test::KeyboardObserver keyboard{display.name()};
    test::KeystrokeReceiverProcess receiver{display};
    std::unique_ptr<XTestInjector> injector;
};

std::string line(std::string_view text) {
    return std::string(text) + "\n";
}

TEST_F(KeystrokeE2ETest, UsLayoutTypesCodeAndUmlautsExactly) {
    run({"setxkbmap", "us"});
    const auto map = keyboard.keyboardMap();
    EXPECT_EQ(type(kCode).text, line(kCode));
    // Umlauts, € and µ through spare keys, each freed again.
    EXPECT_EQ(type(kPersonnelNumber).text, line(kPersonnelNumber));
    EXPECT_EQ(keyboard.keyboardMap(), map);
}

TEST_F(KeystrokeE2ETest, GermanLayoutTypesEveryCharacterFromItsOwnKeys) {
    run({"setxkbmap", "de"});
    settle();
    EXPECT_EQ(type(kCode).text, line(kCode));
    const Received received = type(kPersonnelNumber);
    EXPECT_EQ(received.text, line(kPersonnelNumber));
    // Umlauts on their keys, € @ µ with AltGr: no key was bound for them.
    EXPECT_EQ(received.mapChanges, 0);
}

TEST_F(KeystrokeE2ETest, CharactersOfTheSecondLayoutLeaveTheFirstActive) {
    run({"setxkbmap", "-layout", "us,de"});
    settle();
    const Received received = type("@\u00DF\u00FCz");
    EXPECT_EQ(received.text, line("@\u00DF\u00FCz"));
    EXPECT_EQ(received.mapChanges, 0);
    EXPECT_EQ(keyboard.activeGroup(), 0);
}

TEST_F(KeystrokeE2ETest, XTestKeyboardWithAnotherLayoutThanTheUsers) {
    run({"setxkbmap", "de"});
    const auto xtest = display.run({"xinput", "list", "--id-only", "Virtual core XTEST keyboard"});
    ASSERT_TRUE(xtest && xtest->size() == 1);
    run({"setxkbmap", "-device", xtest->front(), "us"});
    // The core keyboard is German until the first fake key event switches it.
    EXPECT_EQ(type("zy@").text, line("zy@"));
}

TEST_F(KeystrokeE2ETest, CapsLockChangesNoCaseAndStaysOn) {
    run({"setxkbmap", "us"});
    run({"xdotool", "key", "Caps_Lock"});
    ASSERT_TRUE(keyboard.capsLockOn());
    EXPECT_EQ(type("abcXYZ-\u00E4\u00DF").text, line("abcXYZ-\u00E4\u00DF"));
    EXPECT_TRUE(keyboard.capsLockOn());
}

TEST_F(KeystrokeE2ETest, HeldShiftIsLiftedWhileTypingAndHeldAgain) {
    run({"xdotool", "keydown", "shift"});
    settle();
    ASSERT_TRUE(keyboard.shiftDown());
    const Received received = type("ab12");
    EXPECT_EQ(received.text, line("ab12"));
    // Typed from their own keys, not from a key bound to ignore Shift.
    EXPECT_EQ(received.mapChanges, 0);
    EXPECT_TRUE(keyboard.shiftDown());
    run({"xdotool", "keyup", "shift"});
}

TEST_F(KeystrokeE2ETest, CharacterWithoutKeyFailsWhenNoKeycodeIsFree) {
    run({"setxkbmap", "us"});
    keyboard.fillSpareKeycodes();
    EXPECT_FALSE(injector->typeCharacter(U'\u20AC'));
    EXPECT_FALSE(sendKeystrokes(*injector, "a\u20ACb", true));
    EXPECT_EQ(receiveLine().text, "ab\n");
}

TEST_F(KeystrokeE2ETest, PlatformInjectorNeedsADisplay) {
    const char* outer = std::getenv("DISPLAY");
    const std::optional<std::string> saved =
        outer ? std::optional<std::string>(outer) : std::nullopt;
    unsetenv("DISPLAY");
    EXPECT_EQ(makeKeystrokeInjector(), nullptr);
    EXPECT_EQ(XTestInjector::open(":65000"), nullptr);
    setenv("DISPLAY", display.name().c_str(), 1);
    EXPECT_NE(makeKeystrokeInjector(), nullptr);
    if (saved)
        setenv("DISPLAY", saved->c_str(), 1);
    else
        unsetenv("DISPLAY");
}

} // namespace
} // namespace pelvaro
