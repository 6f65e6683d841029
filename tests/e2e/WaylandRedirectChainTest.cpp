// The whole keyboard redirect on Wayland as a user meets it: the program, a
// native Wayland client, starts with redirect mode; with no notification area
// to hide in it stays shown, while a terminal has the focus that the user
// types in. The simulated reader holds card after card from the start on, and
// each code arrives in the terminal: on sway through the virtual keyboard, the
// seat's first; on KWin, which has none, through KDE's desktop portal (libei
// where it loads). The control characters of a template hand-written into the
// settings do not arrive.

#include "tests/e2e/DesktopProgram.h"
#include "tests/support/Polling.h"
#include "tests/support/WaylandSession.h"
#include "tools/simulator/ReaderSimulator.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <optional>

namespace pelvaro {
namespace {

using test::kPatience;
using Compositor = test::WaylandSession::Compositor;

struct Desktop {
    Compositor compositor;
    int cards; // fewer where each goes over the session bus
};

class WaylandRedirectChainTest : public ::testing::TestWithParam<Desktop> {};

TEST_P(WaylandRedirectChainTest, EveryCardArrivesOnceAndExactly) {
    const Desktop desktop = GetParam();
    if (!test::WaylandSession::possible())
        GTEST_SKIP() << "a Wayland session needs root to run as its own user";
    if (desktop.compositor != Compositor::Sway &&
        !test::WaylandSession::desktopInstalled(desktop.compositor))
        GTEST_SKIP() << "needs the desktop's compositor and its desktop portal";
    test::WaylandSession session(desktop.compositor, "pelvaro");
    // Sway is told to open the program's window unfocused, behind the terminal
    // the user already types in. KWin gives every new window the focus, so
    // there the terminal opens once the program's window is up and keeps it.
    std::optional<test::WaylandSession::Terminal> terminal;
    if (desktop.compositor == Compositor::Sway)
        terminal.emplace(session);
    sim::ReaderSimulator reader;
    test::DesktopProgram program(session.environment());
    program.writeSettings(
        "[Global]\nAutostart=1\nSysTray=1\nLineFeed=1\n[Serial]\nPort=1\n[Ports]\nDefaults=0\n"
        "[Output]\nTemplate=\x1b{code}\x08\x7f\n");
    ASSERT_TRUE(reader.mapAsPort(program.settingsFile(), 1));
    // As the session's user: the desktop portal answers only its own user's programs.
    for (const auto& path :
         {program.directory(), program.settingsFile(), std::filesystem::path(reader.devicePath())})
        session.giveToUser(path);
    program.launch(session.asUser({}));
    ASSERT_TRUE(reader.waitForProgram(kPatience))
        << "redirect mode did not start; " << program.errorOutputIfEnded();
    // On the screen once its start has emptied the line of what came before.
    ASSERT_TRUE(test::waitFor([&] { return session.hasWindow("pelvaro"); })) << "no window";
    if (!terminal)
        terminal.emplace(session);

    for (int card = 1; card <= desktop.cards; ++card) {
        char code[16];
        std::snprintf(code, sizeof code, "%010X", card);
        ASSERT_TRUE(reader.sendCard(sim::bytesFromHex(code)).acknowledged) << "card " << card;
        ASSERT_EQ(terminal->receiveUntil("\r", kPatience), std::string(code) + "\r")
            << "card " << card << "; " << program.errorOutputIfEnded();
    }
    EXPECT_EQ(terminal->receiveUntil("never", std::chrono::milliseconds(500)), "")
        << "typed after the last card";
    // On KWin every card arriving shows the terminal kept the focus.
    if (desktop.compositor == Compositor::Sway) {
        EXPECT_TRUE(terminal->hasFocus()) << "the window took the focus";
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, WaylandRedirectChainTest,
                         ::testing::Values(Desktop{Compositor::Sway, 300},
                                           Desktop{Compositor::Kwin, 50}),
                         [](const ::testing::TestParamInfo<Desktop>& info) {
                             return info.param.compositor == Compositor::Sway
                                        ? "SwayVirtualKeyboard"
                                        : "KwinThroughThePortal";
                         });

} // namespace
} // namespace pelvaro
