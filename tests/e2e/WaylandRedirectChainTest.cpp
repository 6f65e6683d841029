// The whole keyboard redirect on Wayland as a user meets it: the program, a
// native Wayland client, starts with redirect mode; with no notification area
// to hide in it stays shown, opening behind the foot terminal the user types
// in. The simulated reader holds card after card from the start on, and each
// code arrives through the virtual keyboard, the seat's first, in the terminal;
// the control characters of a template hand-written into the settings do not.

#include "tests/e2e/DesktopProgram.h"
#include "tests/support/Polling.h"
#include "tests/support/WaylandSession.h"
#include "tools/simulator/ReaderSimulator.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using test::kPatience;

constexpr int kCards = 300;

TEST(WaylandRedirectChainTest, EveryCardArrivesOnceAndExactly) {
    if (!test::WaylandSession::possible())
        GTEST_SKIP() << "a Wayland session needs root to run as its own user";
    test::WaylandSession session(test::WaylandSession::Compositor::Sway, "pelvaro");
    test::WaylandSession::Terminal terminal(session);
    sim::ReaderSimulator reader;
    test::DesktopProgram program(session.environment());
    program.writeSettings(
        "[Global]\nAutostart=1\nSysTray=1\nLineFeed=1\n[Serial]\nPort=1\n[Ports]\nDefaults=0\n"
        "[Output]\nTemplate=\x1b{code}\x08\x7f\n");
    ASSERT_TRUE(reader.mapAsPort(program.settingsFile(), 1));
    program.launch();
    ASSERT_TRUE(reader.waitForProgram(kPatience)) << "redirect mode did not start";
    // On the screen once its start has emptied the line of what came before.
    ASSERT_TRUE(test::waitFor([&] { return session.hasWindow("pelvaro"); })) << "no window";

    for (int card = 1; card <= kCards; ++card) {
        char code[16];
        std::snprintf(code, sizeof code, "%010X", card);
        ASSERT_TRUE(reader.sendCard(sim::bytesFromHex(code)).acknowledged) << "card " << card;
        ASSERT_EQ(terminal.receiveUntil("\r", kPatience), std::string(code) + "\r")
            << "card " << card;
    }
    EXPECT_EQ(terminal.receiveUntil("never", std::chrono::milliseconds(500)), "")
        << "typed after the last card";
    EXPECT_TRUE(terminal.hasFocus()) << "the window took the focus";
}

} // namespace
} // namespace pelvaro
