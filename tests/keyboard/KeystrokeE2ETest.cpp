// The XTest injector typing into a real X client under an X server of the
// test's own, with real keyboard layouts: what arrives is exactly the text,
// whatever the layout, Caps Lock or a held Shift, also in a client that
// handles its key events late; and the keyboard is left as it was found.

#include "keyboard/KeyboardBackend.h"
#include "keyboard/TextTyping.h"
#include "keyboard/x11/XTestInjector.h"
#include "tests/keyboard/KeyboardObserver.h"
#include "tests/keyboard/KeystrokeReceiver.h"
#include "tests/support/Polling.h"
#include "tests/support/VirtualDisplay.h"

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string_view>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::kPatience;
constexpr std::string_view kCode = "0A1B2C3D4E";
// Letters that the German layout swaps, umlauts, and AltGr characters there.
constexpr std::string_view kPersonnelNumber = "Zy-\u00C4\u00D6\u00DC\u00E4\u00F6\u00FC\u00DF"
                                              "\u20AC@\u00B5 4711";
constexpr std::string_view kMueller = "M\u00FCller-7\u00DF \u20AC\u00B5";

using Received = test::ReceivedLine;

// The pauses of the injector, run when the test says so.
struct DeferredCalls {
    DeferredCall call() {
        return [this](std::chrono::milliseconds delay, std::function<void()> work) {
            delays.push_back(delay);
            pending.push_back(std::move(work));
        };
    }
    // Runs the pauses that come due within a few seconds, each after its delay.
    void runSoon() {
        while (!pending.empty() && delays[delays.size() - pending.size()] < 9s) {
            std::this_thread::sleep_for(delays[delays.size() - pending.size()]);
            auto work = std::move(pending.front());
            pending.pop_front();
            work();
        }
    }
    std::deque<std::function<void()>> pending;
    std::vector<std::chrono::milliseconds> delays;
};

class KeystrokeE2ETest : public ::testing::Test {
protected:
    explicit KeystrokeE2ETest(std::chrono::milliseconds receiverLag = {})
        : receiver{display, receiverLag} {}

    void SetUp() override {
        ASSERT_TRUE(receiver.waitUntilReady(kPatience));
        open();
    }

    void open(DeferredCall later = {}) {
        injector = XTestInjector::open(display.name(), std::move(later)).injector;
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
        EXPECT_TRUE(sendKeystrokes(*injector, text, true).typedWhole()) << text;
        return receiveLine();
    }

    // Returns once the receiver has taken in every map change so far, and
    // makes the XTest keyboard the one the server last heard from.
    void settle() {
        ASSERT_TRUE(injector->typeText(U"", true).typedWhole());
        ASSERT_EQ(receiveLine().text, "\n");
    }

    test::VirtualDisplay display{640, 480};
    test::KeyboardObserver keyboard{display.name()};
    test::KeystrokeReceiverProcess receiver;
    std::unique_ptr<XTestInjector> injector;
};

// A client that handles every key event 50 ms late and fetches the keyboard
// map only when it gets to the change notice, as a busy application does.
class BusyClientTest : public KeystrokeE2ETest {
protected:
    BusyClientTest() : KeystrokeE2ETest(50ms) {}
};

std::string line(std::string_view text) {
    return std::string(text) + "\n";
}

TEST_F(KeystrokeE2ETest, UsLayoutTypesCodeAndUmlautsExactly) {
    run({"setxkbmap", "us"});
    const auto map = keyboard.keyboardMap();
    EXPECT_EQ(type(kCode).text, line(kCode));
    // In a text, TAB is the Tab key and a line feed the Return key.
    EXPECT_EQ(type("0878082202\t086,30874\n").text, "0878082202\t086,30874\n");
    EXPECT_EQ(receiveLine().text, "\n");
    const Received one = type("\u00E4");
    EXPECT_GT(one.mapChanges, 0);
    injector->release();
    settle();
    // Umlauts, € and µ through spare keys, all bound in one change as the one above.
    const Received received = type(kPersonnelNumber);
    EXPECT_EQ(received.text, line(kPersonnelNumber));
    EXPECT_EQ(received.mapChanges, one.mapChanges);
    injector->release();
    EXPECT_EQ(keyboard.keyboardMap(), map) << "the spare keys are free again";
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

TEST_F(KeystrokeE2ETest, CardsChangeNoLockAndNoGroup) {
    for (const char* layout : {"us", "de"}) {
        run({"setxkbmap", layout});
        settle();
        keyboard.lockChanges();
        EXPECT_EQ(type(kCode).text, line(kCode));
        EXPECT_EQ(keyboard.lockChanges(), 0) << layout;
    }
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

TEST_F(KeystrokeE2ETest, CharacterWithoutKeyIsSkippedWhenNoKeycodeIsFree) {
    run({"setxkbmap", "us"});
    keyboard.fillSpareKeycodes();
    EXPECT_FALSE(sendKeystrokes(*injector, "a\u20ACb", true).typedWhole());
    EXPECT_EQ(receiveLine().text, "ab\n");
}

TEST_F(KeystrokeE2ETest, MoreMissingCharactersThanSpareKeysAreTypedInPortions) {
    run({"setxkbmap", "us"});
    keyboard.fillSpareKeycodes(2);
    DeferredCalls later;
    open(later.call());
    const std::string_view text = "1\u00E4\u00F62\u00FC\u00DF3\u20AC\u00B5";
    // The first portion at once; the pauses before the others are left to
    // the caller's loop instead of sleeping.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(sendKeystrokes(*injector, text, true).typedWhole());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
    EXPECT_EQ(later.delays.size(), 1u);
    EXPECT_TRUE(sendKeystrokes(*injector, "9", true).typedWhole()) << "queued behind the portions";
    later.runSoon();
    EXPECT_EQ(receiveLine().text, line(text));
    EXPECT_EQ(receiveLine().text, "9\n");
}

TEST_F(KeystrokeE2ETest, LongTextWithManyMissingCharactersBlocksOnlyBriefly) {
    run({"setxkbmap", "us"});
    DeferredCalls later;
    open(later.call());
    // 149 characters, 20 of them Greek letters the layout lacks: more than
    // the spare keys of this server, so it goes in portions.
    std::u32string text;
    for (char32_t letter = U'\u03B1'; text.size() < 149; ++letter) {
        text += letter <= U'\u03C4' ? letter : U'7';
        for (int digit = 0; digit < 6 && text.size() < 149; ++digit)
            text += static_cast<char32_t>(U'0' + digit);
    }
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(injector->typeText(text, true).typedWhole());
    const auto held = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    RecordProperty("held_us", static_cast<int>(held.count()));
    EXPECT_LT(held, 500ms) << "the caller's loop waits between portions, not the call";
    later.runSoon();
    EXPECT_EQ(decodeText(receiveLine().text), text + U"\n");
}

TEST_F(BusyClientTest, MissingCharactersArriveExactlyOnAUsLayout) {
    run({"setxkbmap", "us"});
    settle();
    EXPECT_EQ(type(kMueller).text, line(kMueller));
    EXPECT_EQ(type(kCode).text, line(kCode));
}

TEST_F(BusyClientTest, LatinLettersArriveOnALayoutWithoutThem) {
    run({"setxkbmap", "ru"});
    settle();
    EXPECT_EQ(type(kCode).text, line(kCode));
}

TEST_F(BusyClientTest, SecondLayoutActiveTypesWithoutSwitchingBack) {
    run({"setxkbmap", "-layout", "us,de"});
    keyboard.lockGroup(1);
    settle();
    keyboard.lockChanges();
    EXPECT_EQ(type(kCode).text, line(kCode));
    EXPECT_EQ(type(kMueller).text, line(kMueller));
    EXPECT_EQ(keyboard.activeGroup(), 1u);
    EXPECT_EQ(keyboard.lockChanges(), 0) << "space and Return are in the active group too";
}

TEST_F(BusyClientTest, GermanLayoutWithCapsLockAndNumLockOn) {
    run({"setxkbmap", "de"});
    run({"xdotool", "key", "Caps_Lock", "Num_Lock"});
    settle();
    ASSERT_TRUE(keyboard.capsLockOn());
    EXPECT_EQ(type(kCode).text, line(kCode));
    EXPECT_EQ(type(kMueller).text, line(kMueller));
    EXPECT_TRUE(keyboard.capsLockOn());
}

TEST(KeyboardBackendChoice, RefusesWithTheReasonWhenNothingCanType) {
    const char* outer = std::getenv("DISPLAY");
    const std::optional<std::string> saved =
        outer ? std::optional<std::string>(outer) : std::nullopt;
    unsetenv("WAYLAND_DISPLAY");
    const auto reasonWith = [](const char* displayName, const std::string& backend = {}) {
        displayName ? setenv("DISPLAY", displayName, 1) : unsetenv("DISPLAY");
        const KeyboardBackendChoice choice = chooseKeyboardBackend(forcedBackend(backend));
        EXPECT_EQ(choice.injector, nullptr);
        return keystrokesImpossibleText(choice);
    };
    const std::string impossible = "Tastatureingaben sind nicht möglich: ";
    const std::string noUinput = "/dev/uinput fehlt (das Kernelmodul uinput ist nicht geladen: "
                                 "sudo modprobe uinput).";
    // Neither X11 nor Wayland: the text console, through uinput, which this
    // machine's kernel lacks.
    if (!std::filesystem::exists("/dev/uinput")) {
        EXPECT_EQ(reasonWith(nullptr), impossible + noUinput);
    }
    EXPECT_EQ(reasonWith(":65000"),
              impossible + "kein X-Server mit XTest erreichbar (:65000 antwortet nicht).");
    const test::VirtualDisplay withoutXTest(320, 240, {"-extension", "XTEST"});
    EXPECT_EQ(reasonWith(withoutXTest.name().c_str()),
              impossible + "kein X-Server mit XTest erreichbar (" + withoutXTest.name() +
                  " bietet kein XTest).");

    const test::VirtualDisplay withXTest(320, 240);
    setenv("DISPLAY", withXTest.name().c_str(), 1);
    const KeyboardBackendChoice choice = chooseKeyboardBackend();
    EXPECT_NE(choice.injector, nullptr);
    EXPECT_EQ(choice.name, "xtest");
    EXPECT_EQ(chooseKeyboardBackend(forcedBackend("xtest")).name, "xtest");
    // The settings force the others, also on X11.
    EXPECT_EQ(reasonWith(withXTest.name().c_str(), "virtual-keyboard"),
              impossible + "keine Wayland-Sitzung (WAYLAND_DISPLAY ist nicht gesetzt).");
    if (!std::filesystem::exists("/dev/uinput")) {
        EXPECT_EQ(reasonWith(withXTest.name().c_str(), "uinput"), impossible + noUinput);
    }
    EXPECT_EQ(reasonWith(withXTest.name().c_str(), "keine"),
              impossible + "unbekannte Art der Tastatureingabe 'keine'.");
    saved ? setenv("DISPLAY", saved->c_str(), 1) : unsetenv("DISPLAY");
}

} // namespace
} // namespace pelvaro
