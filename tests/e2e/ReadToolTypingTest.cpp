// The command-line reader as a keyboard wedge of its own: every card held to
// the simulated reader arrives as key strokes in a real X client, with ENTER
// and personnel numbers when asked.

#include "tests/keyboard/KeystrokeReceiver.h"
#include "tests/personnel/SqliteTool.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Polling.h"
#include "tests/support/TempDir.h"
#include "tools/simulator/ReaderSimulator.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using test::kPatience;

constexpr int kPort = 3;
const Bytes kKnownCard = {0x12, 0x34, 0x56, 0x78, 0x9A};
const Bytes kOtherCard = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E};

class ReadToolTypingTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(READ_TOOL_EXE, dir.path() / "pelvaro-read");
        test::placeSqliteLibrary(dir.path());
        ASSERT_TRUE(reader.mapAsPort(dir.path() / "Pelvaro.ini", kPort));
        ASSERT_TRUE(receiver.waitUntilReady(kPatience));
    }

    // Starts the tool, which types the probe card's code; returns once a
    // card is answered, that is once the tool listens.
    std::unique_ptr<test::ChildProcess> start(std::vector<std::string> options) {
        options.insert(options.begin(), {(dir.path() / "pelvaro-read").string(), "--port",
                                         std::to_string(kPort), "--type"});
        auto tool = std::make_unique<test::ChildProcess>(options, display.environment());
        reader.setAcknowledgementTimeout(200ms);
        bool answered = false;
        for (int attempt = 0; attempt < 50 && !answered; ++attempt)
            answered = reader.sendCard(Bytes{0xFF}).acknowledged;
        reader.setAcknowledgementTimeout(1000ms);
        EXPECT_TRUE(answered) << "the tool never answered: " << tool->errorOutput();
        return tool;
    }

    test::ReceivedLine hold(const Bytes& card) {
        EXPECT_TRUE(reader.sendCard(card).acknowledged);
        return receiver.receiveLine(kPatience);
    }

    test::TempDir dir;
    test::VirtualDisplay display{640, 480};
    test::KeystrokeReceiverProcess receiver{display};
    sim::ReaderSimulator reader;
};

TEST_F(ReadToolTypingTest, TypesEachCodeWithEnter) {
    auto tool = start({"--enter"});
    EXPECT_EQ(receiver.receiveLine(kPatience).text, "00000000FF\n");
    EXPECT_EQ(hold(kKnownCard).text, "123456789A\n");
    EXPECT_EQ(hold(kOtherCard).text, "0A1B2C3D4E\n");
    tool->signal(SIGTERM);
    EXPECT_EQ(tool->waitForExit(kPatience), 0);
}

TEST_F(ReadToolTypingTest, WithoutEnterTheCodesFollowEachOther) {
    auto tool = start({});
    EXPECT_TRUE(reader.sendCard(kKnownCard).acknowledged);
    const test::ReceivedLine received = receiver.receiveLine(2s);
    EXPECT_FALSE(received.complete) << "no Return was typed";
    EXPECT_EQ(received.text, "00000000FF123456789A");
}

TEST_F(ReadToolTypingTest, PersonnelNumbersInPlaceOfTheirCodes) {
    const auto database = dir.path() / "db_Personal.sqlite";
    test::runSqliteTool(database, {"CREATE TABLE t_card_personal (Cardcode VARCHAR(50) PRIMARY "
                                   "KEY NOT NULL, PersNum VARCHAR(50) NOT NULL)",
                                   "INSERT INTO t_card_personal VALUES('123456789A',"
                                   "'M\u00FCller-7\u00DF')"});
    auto tool = start({"--enter", "--personnel"});
    EXPECT_EQ(receiver.receiveLine(kPatience).text, "00000000FF\n") << "no number: the code";
    EXPECT_EQ(hold(kKnownCard).text, "M\u00FCller-7\u00DF\n");
    EXPECT_EQ(hold(kOtherCard).text, "0A1B2C3D4E\n");
}

TEST_F(ReadToolTypingTest, RefusesWhenNothingCanType) {
    test::ChildProcess tool({(dir.path() / "pelvaro-read").string(), "--port",
                             std::to_string(kPort), "--type", "--backend", "keine"});
    EXPECT_EQ(tool.waitForExit(kPatience), 1);
    EXPECT_NE(tool.errorOutput().find("Tastatureingaben sind nicht möglich"), std::string::npos);
    EXPECT_FALSE(reader.waitForProgram(200ms)) << "refused before the port was opened";
}

} // namespace
} // namespace pelvaro
