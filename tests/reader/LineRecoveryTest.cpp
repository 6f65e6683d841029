// Taking up an unplugged reader again. The mapping names a symbolic link that
// the test points at a new pseudo-terminal, the way /dev/serial/by-id links
// move when a USB reader comes back under another name.

#include "reader/LineRecovery.h"

#include "reader/ReaderProtocol.h"
#include "tests/support/PluggableReader.h"
#include "tests/support/ScriptedLink.h"
#include "tests/support/TempDir.h"

#include <fstream>
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
    EXPECT_EQ(recovery.check(start), LineChange::None) << "a quiet line is no lost line";

    unplug();
    EXPECT_EQ(recovery.check(start), LineChange::Lost);
    EXPECT_FALSE(port.isOpen()) << "the dead handle is closed";
    EXPECT_TRUE(recovery.waiting());

    plug.plugIn();
    EXPECT_EQ(recovery.check(start + 499ms), LineChange::None) << "tried again too early";
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(recovery.check(start + 500ms), LineChange::Back);
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
    ASSERT_EQ(recovery.check(start), LineChange::Lost);
    opens = 0;
    for (auto now = start; now <= start + 2s; now += 1ms)
        EXPECT_EQ(recovery.check(now), LineChange::None);
    EXPECT_EQ(opens, 4);
    EXPECT_EQ(port.openFailure(), OpenFailure::NoDevice);

    plug.plugIn();
    EXPECT_EQ(recovery.check(start + 2500ms), LineChange::Back)
        << "the device path is opened again";
}

} // namespace
} // namespace pelvaro
