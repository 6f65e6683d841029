// Taking up an unplugged reader again, and the steps of a read session. The
// mapping names a symbolic link that the test points at a new pseudo-terminal,
// the way /dev/serial/by-id links move when a USB reader comes back under
// another name.

#include "reader/LineRecovery.h"

#include "reader/ReaderProtocol.h"
#include "reader/ReaderSession.h"
#include "reader/SerialSystemCalls_posix.h"
#include "tests/support/PluggableReader.h"
#include "tests/support/ScriptedLink.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <functional>
#include <future>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

int opens = 0;

int countingOpen(const char* path, int flags) {
    ++opens;
    return systemSerialCalls().open(path, flags);
}

class LineRecoveryTest : public ::testing::Test {
protected:
    LineRecoveryTest() {
        opens = 0;
        counting.open = countingOpen;
        std::ofstream(dir.path() / "Pelvaro.ini") << "[Ports]\nCom3=" << link.string() << "\n";
    }

    // Unplugs the reader and lets the port see it in a read.
    void unplug() {
        plug.unplug();
        uint8_t byte = 0;
        EXPECT_EQ(port.read(&byte, 1), ReadOutcome::LineLost);
    }

    test::TempDir dir;
    const fs::path link = dir.path() / "reader";
    SerialSystemCalls counting = systemSerialCalls();
    T_Serial_Interface port{false, PortMap(dir.path() / "Pelvaro.ini"), &counting};
    test::PluggableReader plug{link};
    LineRecovery recovery{port};
    const LineRecovery::Clock::time_point start = LineRecovery::Clock::now();
};

TEST_F(LineRecoveryTest, LostLineIsClosedAndTheMovedReaderIsReadAgain) {
    ASSERT_EQ(port.open(3, kReaderBaudRate), OpenResult::Opened);
    unplug();
    recovery.lineLost(start);
    EXPECT_FALSE(port.isOpen()) << "the dead handle is closed";
    EXPECT_TRUE(recovery.waiting());

    plug.plugIn();
    EXPECT_FALSE(recovery.tryReopen(start + 499ms)) << "tried again too early";
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(recovery.tryReopen(start + 500ms));
    EXPECT_TRUE(port.isOpen());
    EXPECT_FALSE(recovery.waiting());

    test::RecordingBinding binding;
    ReaderProtocol engine(port, binding);
    auto card = std::async(std::launch::async, [&] {
        return plug.reader().sendCard(std::vector<uint8_t>{0x12, 0x34});
    });
    while (binding.codes.empty() && card.wait_for(0ms) != std::future_status::ready)
        engine.receivePass();
    EXPECT_TRUE(card.get().acknowledged);
    EXPECT_EQ(binding.codes, std::vector<std::string>{"0000001234"});
}

TEST_F(LineRecoveryTest, AbsentReaderIsLookedForAtMostTwiceASecond) {
    ASSERT_EQ(port.openDevice(link.string(), kReaderBaudRate), OpenResult::Opened);
    unplug();
    fs::remove(link);
    recovery.lineLost(start);
    opens = 0;
    for (auto now = start; now <= start + 2s; now += 1ms)
        EXPECT_FALSE(recovery.tryReopen(now));
    EXPECT_EQ(opens, 4);
    EXPECT_EQ(port.problem().kind, PortProblem::Kind::Missing);

    plug.plugIn();
    EXPECT_TRUE(recovery.tryReopen(start + 2500ms)) << "the device path is opened again";
}

// A session on the reader behind the mapping, stepped without pauses.
class ReaderSessionTest : public LineRecoveryTest {
protected:
    void SetUp() override { ASSERT_EQ(port.open(3, kReaderBaudRate), OpenResult::Opened); }

    // Steps while the reader sends on a thread of its own, as reader and
    // program run side by side; the outcomes other than silence.
    std::vector<StepOutcome> heardWhile(const std::function<sim::SendOutcome()>& send) {
        auto sending = std::async(std::launch::async, send);
        std::vector<StepOutcome> heard;
        while (sending.wait_for(0ms) != std::future_status::ready)
            if (const StepOutcome outcome = session.step(0ms, 0ms); outcome != StepOutcome::Silence)
                heard.push_back(outcome);
        EXPECT_TRUE(sending.get().acknowledged);
        return heard;
    }

    test::RecordingBinding binding;
    ReaderProtocol engine{port, binding};
    ReaderSession session{engine, port};
};

TEST_F(ReaderSessionTest, EachStepNamesWhatItsPassBrought) {
    EXPECT_EQ(session.step(0ms, 0ms), StepOutcome::Silence) << "a quiet line is no lost line";
    EXPECT_TRUE(port.isOpen());
    const auto card = [&] { return plug.reader().sendCard(std::vector<uint8_t>{0x12, 0x34}); };
    EXPECT_EQ(heardWhile(card), std::vector{StepOutcome::CodeRead});
    EXPECT_EQ(binding.codes, std::vector<std::string>{"0000001234"});
    EXPECT_EQ(heardWhile([&] { return plug.reader().sendStatus('k', '2'); }),
              std::vector{StepOutcome::StatusClear});
    EXPECT_EQ(heardWhile([&] {
                  return plug.reader().sendFrame(std::vector<uint8_t>{'1', 'b', 1});
              }),
              std::vector{StepOutcome::OtherFrame});
}

TEST_F(ReaderSessionTest, ReaderThatGoesAwayIsWaitedForAndReadAgain) {
    plug.unplug();
    EXPECT_EQ(session.step(0ms, 0ms), StepOutcome::LineLost);
    EXPECT_FALSE(port.isOpen()) << "the dead handle is closed";
    EXPECT_TRUE(session.readerAway());

    plug.plugIn();
    EXPECT_EQ(session.step(0ms, 0ms), StepOutcome::ReaderAway) << "too soon to look again";
    EXPECT_EQ(session.step(0ms, LineRecovery::kRetryInterval), StepOutcome::LineBack);
    EXPECT_FALSE(session.readerAway());
    EXPECT_EQ(heardWhile([&] { return plug.reader().sendCard(std::vector<uint8_t>{0x56}); }),
              std::vector{StepOutcome::CodeRead});
    EXPECT_EQ(binding.codes, std::vector<std::string>{"0000000056"});
}

} // namespace
} // namespace pelvaro
