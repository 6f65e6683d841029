// The whole keyboard redirect as a user meets it: the program starts with
// redirect mode and hides itself, the simulated reader holds card after card,
// and each code arrives as key strokes in the X client that has the focus,
// personnel numbers from the program's database in place of their codes; and
// the reader unplugged and plugged in again under another name in between.

#include "reader/PortMapping.h"
#include "tests/e2e/DesktopProgramTest.h"
#include "tests/e2e/DesktopRig.h"
#include "tests/e2e/NotificationArea.h"
#include "tests/personnel/SqliteTool.h"
#include "tests/redirect/KeystrokeReceiver.h"
#include "tests/support/PluggableReader.h"
#include "tests/support/Polling.h"
#include "tools/simulator/ReaderSimulator.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::kPatience;
using test::waitFor;

constexpr int kCards = 1000;
// Every so many cards has a personnel number in the database.
constexpr int kPersonnelEvery = 100;

std::string personnelNumber(int card) {
    return "M\u00FCller-\u00C4\u00DF " + std::to_string(card);
}

class RedirectChainTest : public test::DesktopProgramTest {
protected:
    RedirectChainTest() : DesktopProgramTest(640, 480) {}

    // Started with redirect mode, automatic minimising, ENTER after each
    // code and personnel numbers instead of codes.
    // The reader's device is mapped as Com1.
    void startHidden(sim::ReaderSimulator& reader, const std::string& device) {
        program.addSqliteLibrary();
        program.writeSettings("[Global]\nAutostart=1\nSysTray=1\nLineFeed=1\nSendPSNR=1\n"
                              "[Serial]\nPort=1\nCardLen=10\n[Ports]\nDefaults=0\n");
        ASSERT_TRUE(writePortMapping(program.settingsFile(), 1, device));
        panel = test::startPanel(display, area); // where the window hides itself
        ASSERT_TRUE(panel) << "no notification area";
        const auto window = program.start();
        ASSERT_TRUE(window) << "no main window";
        ASSERT_TRUE(reader.waitForProgram(kPatience)) << "the port was not opened";
        ASSERT_TRUE(waitFor([&] { return !area.viewable(std::stoul(*window)); }))
            << "the window did not hide";
    }

    // Filled by another program while Pelvaro runs, as the table may be.
    void fillPersonnelTable() {
        const auto database = program.directory() / "db_Personal.sqlite";
        for (int card = kPersonnelEvery; card <= kCards; card += kPersonnelEvery)
            test::runSqliteTool(database,
                                {"INSERT INTO t_card_personal VALUES('" + test::numberedCode(card) +
                                 "','" + personnelNumber(card) + "')"});
    }

    test::NotificationArea area{display.name()};
    std::unique_ptr<test::ChildProcess> panel;
};

TEST_F(RedirectChainTest, EveryCardArrivesOnceAndExactly) {
    sim::ReaderSimulator reader;
    ASSERT_NO_FATAL_FAILURE(startHidden(reader, reader.devicePath()));
    ASSERT_NO_FATAL_FAILURE(fillPersonnelTable());
    test::KeystrokeReceiverProcess receiver(display);
    ASSERT_TRUE(receiver.waitUntilReady(kPatience));

    for (int card = 1; card <= kCards; ++card) {
        const std::string code = test::numberedCode(card);
        ASSERT_TRUE(reader.sendCard(sim::bytesFromHex(code)).acknowledged) << "card " << card;
        const std::string expected =
            (card % kPersonnelEvery == 0 ? personnelNumber(card) : code) + "\n";
        const test::ReceivedLine received = receiver.receiveLine(kPatience);
        ASSERT_EQ(received.text, expected) << "card " << card;
    }
    const test::ReceivedLine extra = receiver.receiveLine(500ms);
    EXPECT_EQ(extra.text, "") << "typed after the last card";
}

TEST_F(RedirectChainTest, UnpluggedReaderIsTakenUpAgainWithoutLosingOrDoublingACard) {
    constexpr int kCardsPerPlugging = 20;
    test::PluggableReader plug(program.directory() / "reader");
    ASSERT_NO_FATAL_FAILURE(startHidden(plug.reader(), plug.link().string()));
    test::KeystrokeReceiverProcess receiver(display);
    ASSERT_TRUE(receiver.waitUntilReady(kPatience));

    for (int card = 1; card <= 3 * kCardsPerPlugging; ++card) {
        if (card % kCardsPerPlugging == 0) {
            plug.unplug();
            plug.plugIn();
            ASSERT_TRUE(plug.reader().waitForProgram(kPatience)) << "not taken up at card " << card;
        }
        const std::string code = test::numberedCode(card);
        ASSERT_TRUE(plug.reader().sendCard(sim::bytesFromHex(code)).acknowledged) << card;
        ASSERT_EQ(receiver.receiveLine(kPatience).text, code + "\n") << "card " << card;
    }
    EXPECT_EQ(receiver.receiveLine(500ms).text, "") << "typed after the last card";
}

} // namespace
} // namespace pelvaro
