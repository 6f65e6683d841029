// The serial port on a real pseudo-terminal, with the simulated reader on the
// master side; system calls are recorded or made to fail through the port's
// system-call table where a pseudo-terminal cannot show the effect.

#include "fileio/ProfileFile.h"
#include "reader/PortDiscovery.h"
#include "reader/ReaderProtocol.h"
#include "reader/SerialSystemCalls_posix.h"
#include "reader/T_Serial_Interface.h"
#include "settings/PortSettings.h"
#include "tests/support/Polling.h"
#include "tests/support/ScriptedLink.h"
#include "tests/support/TempDir.h"
#include "tools/simulator/ReaderSimulator.h"
#include "tools/simulator/SimulatorFrames.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the recording system calls saw; one test at a time uses it.
struct CallLog {
    std::vector<std::pair<unsigned long, int>> modemLines; // TIOCMBIS/TIOCMBIC and the bits
    std::map<unsigned long, int> failingIoctls;            // by request, with their errno
    int failingFlush = 0;                                  // tcflush's errno
    int closes = 0;
    bool failClose = false;
    int refusedSettings = 0; // so many settings of the line fail from now on
    bool modemLinesUp = false;
    // Reads that fail with these errors instead, by their number from 0.
    std::map<int, int> failingReads;
    int reads = 0;
};
CallLog* callLog = nullptr;

int recordingIoctl(int fd, unsigned long request, int* arg) {
    if (request == TIOCMBIS || request == TIOCMBIC)
        callLog->modemLines.emplace_back(request, *arg);
    if (const auto fault = callLog->failingIoctls.find(request);
        fault != callLog->failingIoctls.end()) {
        errno = fault->second;
        return -1;
    }
    // A pseudo-terminal has no modem lines: these are a modem's with DTR and RTS up.
    if (request == TIOCMGET && callLog->modemLinesUp) {
        *arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS;
        return 0;
    }
    return systemSerialCalls().ioctl(fd, request, arg);
}

ssize_t faultyRead(int fd, void* buffer, size_t count) {
    const auto fault = callLog->failingReads.find(callLog->reads++);
    if (fault != callLog->failingReads.end()) {
        errno = fault->second;
        return -1;
    }
    return systemSerialCalls().read(fd, buffer, count);
}

int refusingSetAttributes(int fd, int when, const termios* attributes) {
    if (callLog->refusedSettings > 0) {
        --callLog->refusedSettings;
        errno = EINVAL;
        return -1;
    }
    return systemSerialCalls().tcsetattr(fd, when, attributes);
}

int faultyFlush(int fd, int queues) {
    if (callLog->failingFlush != 0) {
        errno = callLog->failingFlush;
        return -1;
    }
    return systemSerialCalls().tcflush(fd, queues);
}

int recordingClose(int fd) {
    ++callLog->closes;
    const int result = systemSerialCalls().close(fd);
    if (callLog->failClose) {
        errno = EIO;
        return -1;
    }
    return result;
}

class SerialPortTest : public ::testing::Test {
protected:
    SerialPortTest() {
        callLog = &calls;
        recording.ioctl = recordingIoctl;
        recording.close = recordingClose;
        recording.read = faultyRead;
        recording.tcsetattr = refusingSetAttributes;
        recording.tcflush = faultyFlush;
    }
    ~SerialPortTest() override { callLog = nullptr; }

    bool waitForAcknowledgements(int count) {
        return test::pollEvery([&] { return reader.acknowledgementsReceived() >= count; }, 1ms, 1s);
    }

    CallLog calls;
    SerialSystemCalls recording = systemSerialCalls();
    sim::ReaderSimulator reader;
    test::TempDir dir;
    std::filesystem::path ini = dir.path() / "Pelvaro.ini";
};

TEST_F(SerialPortTest, OpenReadWriteCloseAndOpenAgain) {
    ASSERT_TRUE(reader.mapAsPort(ini, 4));
    T_Serial_Interface port(false, PortMap(ini));
    ASSERT_EQ(port.open(4, 9600), OpenResult::Opened);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 4);

    const uint8_t ack[] = {0x10, 0x06};
    EXPECT_TRUE(port.write(ack, 2));
    EXPECT_TRUE(waitForAcknowledgements(1));
    reader.sendRaw(std::vector<uint8_t>{0x42, 0x43});
    uint8_t bytes[2] = {};
    EXPECT_EQ(port.read(bytes, 2), ReadOutcome::Complete);
    EXPECT_EQ(bytes[0], 0x42);
    EXPECT_EQ(bytes[1], 0x43);

    EXPECT_TRUE(port.close());
    EXPECT_FALSE(port.isOpen());
    reader.sendRaw(std::vector<uint8_t>{0x44}); // waits in the line while the port is closed
    ASSERT_EQ(port.open(4, 9600), OpenResult::Opened);
    EXPECT_EQ(port.read(bytes, 1), ReadOutcome::TimedOut) << "open purges what was queued";
}

// The settings of a line that matter to a terminal or a modem.
struct LineSettings {
    tcflag_t input, output, control, local;
    speed_t speed;
    std::vector<cc_t> characters;
    bool operator==(const LineSettings&) const = default;
};

LineSettings settingsOf(int fd) {
    termios attributes{};
    EXPECT_EQ(tcgetattr(fd, &attributes), 0);
    return {attributes.c_iflag,       attributes.c_oflag,
            attributes.c_cflag,       attributes.c_lflag,
            cfgetospeed(&attributes), {std::begin(attributes.c_cc), std::end(attributes.c_cc)}};
}

TEST_F(SerialPortTest, SessionsAndScansLeaveTheLineAsTheyFoundIt) {
    // An ordinary pseudo-terminal, as a shell has it: echo, lines, signals.
    int master = -1;
    int slave = -1;
    char name[64] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const LineSettings found = settingsOf(slave);
    ASSERT_TRUE(found.local & ECHO);

    T_Serial_Interface port(false);
    ASSERT_EQ(port.openDevice(name, 9600), OpenResult::Opened);
    const LineSettings during = settingsOf(slave);
    EXPECT_EQ(during.speed, B9600);
    EXPECT_EQ(during.control & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(during.local & (ECHO | ICANON | ISIG));
    EXPECT_FALSE(during.output & OPOST);
    EXPECT_TRUE(port.close());
    EXPECT_EQ(settingsOf(slave), found) << "a session";

    writeProfileString(ini, "Ports", "Defaults", "0");
    writeProfileString(ini, "Ports", "Com5", name);
    T_Serial_Interface scanning(false, PortMap(ini));
    EXPECT_EQ(findOpenablePorts(scanning).openable, std::vector<int>{5});
    EXPECT_EQ(settingsOf(slave), found) << "a scan";
    close(slave);
    close(master);
}

TEST_F(SerialPortTest, ModemLinesAreRaisedAgainAtClose) {
    calls.modemLinesUp = true;
    T_Serial_Interface port(false, PortMap(), &recording);
    ASSERT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    calls.modemLines.clear();
    EXPECT_TRUE(port.close());
    EXPECT_EQ(calls.modemLines, (std::vector<std::pair<unsigned long, int>>{
                                    {TIOCMBIS, TIOCM_DTR | TIOCM_RTS}, {TIOCMBIC, 0}}));
}

TEST_F(SerialPortTest, SilentLineEndsAOneByteReadAfterAbout51Ms) {
    T_Serial_Interface port(false);
    ASSERT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    uint8_t byte = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port.read(&byte, 1), ReadOutcome::TimedOut) << "silence is not a lost line";
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 50ms);
    EXPECT_LT(waited, 150ms);
}

TEST_F(SerialPortTest, MissingDeviceFailsButKeepsThePortNumber) {
    ASSERT_TRUE(writePortMapping(ini, 7, (dir.path() / "no-such-tty").string()));
    T_Serial_Interface port(false, PortMap(ini));
    EXPECT_EQ(port.open(7, 9600), OpenResult::Failed);
    EXPECT_EQ(port.portNumber(), 7);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.open(0, 9600), OpenResult::Failed) << "0 is no port";
    EXPECT_EQ(port.portNumber(), 0);
}

TEST_F(SerialPortTest, PortIsHeldExclusively) {
    T_Serial_Interface first(false);
    T_Serial_Interface second(false);
    ASSERT_EQ(first.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    EXPECT_EQ(second.openDevice(reader.devicePath(), 9600), OpenResult::Failed);
    first.close();
    EXPECT_EQ(second.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
}

TEST_F(SerialPortTest, SecondOpenOfAnOpenPortIsRefusedAndTheSessionGoesOn) {
    ASSERT_TRUE(reader.mapAsPort(ini, 2));
    T_Serial_Interface port(false, PortMap(ini));
    ASSERT_EQ(port.open(2, 9600), OpenResult::Opened);
    EXPECT_EQ(port.open(5, 9600), OpenResult::Failed);
    EXPECT_EQ(port.portNumber(), 2);
    EXPECT_TRUE(port.isOpen());
    reader.sendRaw(std::vector<uint8_t>{0x55});
    uint8_t byte = 0;
    EXPECT_EQ(port.read(&byte, 1), ReadOutcome::Complete);
    EXPECT_EQ(byte, 0x55);
}

TEST_F(SerialPortTest, RtsAndDtrAreDrivenAsConstructed) {
    const std::pair<unsigned long, int> dtrOff{TIOCMBIC, TIOCM_DTR};
    const std::pair<unsigned long, int> rtsOff{TIOCMBIC, TIOCM_RTS};
    const std::pair<unsigned long, int> rtsOn{TIOCMBIS, TIOCM_RTS};
    {
        T_Serial_Interface port(false, PortMap(), &recording);
        ASSERT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
        EXPECT_EQ(calls.modemLines, (std::vector{dtrOff, rtsOff}));
    }
    calls.modemLines.clear();
    T_Serial_Interface port(true, PortMap(), &recording);
    ASSERT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    EXPECT_EQ(calls.modemLines, (std::vector{dtrOff, rtsOn}));
    port.flush();
    EXPECT_EQ(calls.modemLines.back(), rtsOff) << "the purge drops RTS";
}

TEST_F(SerialPortTest, DeviceThatIsNoSerialLineIsReleased) {
    T_Serial_Interface port(false, PortMap(), &recording);
    EXPECT_EQ(port.openDevice("/dev/null", 9600), OpenResult::NotSerial);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(calls.closes, 1) << "the handle is not leaked";
    EXPECT_TRUE(port.close());
    EXPECT_EQ(calls.closes, 1) << "closing a closed port calls nothing";

    calls.refusedSettings = 1;
    EXPECT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::NotSerial)
        << "a line that refuses its settings is not opened";
    EXPECT_EQ(port.problem().kind, PortProblem::Kind::NotSerial);
    EXPECT_EQ(calls.closes, 2);
    EXPECT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened) << "nor left held";
}

TEST_F(SerialPortTest, StepThatFailsIsReportedWithItsReasonAndTheLineIsReleasedAsFound) {
    const int observer = ::open(reader.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(observer, 0);
    const LineSettings found = settingsOf(observer);
    T_Serial_Interface port(false, PortMap(), &recording);
    const std::vector<std::pair<std::function<void()>, PortProblem::Kind>> refusals = {
        {[&] { calls.failingIoctls[TIOCEXCL] = EPERM; }, PortProblem::Kind::NoPermission},
        {[&] { calls.failingIoctls[TIOCMBIC] = EIO; }, PortProblem::Kind::Other},
        {[&] { calls.failingFlush = ENODEV; }, PortProblem::Kind::Missing},
    };
    for (const auto& [refuse, reason] : refusals) {
        refuse();
        const int closes = calls.closes;
        EXPECT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::NotSerial);
        EXPECT_EQ(port.problem().kind, reason);
        EXPECT_EQ(calls.closes, closes + 1) << "the handle is not leaked";
        EXPECT_EQ(settingsOf(observer), found);
        calls.failingIoctls.clear();
        calls.failingFlush = 0;
        ASSERT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened)
            << "nor left held";
        EXPECT_TRUE(port.flush()) << "a line without modem lines has no RTS to drop";
        EXPECT_TRUE(port.close());
    }

    ASSERT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    calls.failingFlush = EIO;
    EXPECT_FALSE(port.flush());
    calls.failingFlush = 0;
    calls.refusedSettings = 1;
    EXPECT_FALSE(port.close()) << "the line would not take back its settings";
    EXPECT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened)
        << "released all the same";
    ::close(observer);
}

TEST_F(SerialPortTest, FailedReleaseIsReported) {
    T_Serial_Interface port(false, PortMap(), &recording);
    ASSERT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    calls.failClose = true;
    EXPECT_FALSE(port.close());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.close());
}

TEST_F(SerialPortTest, LineGoingAwayIsNoticedAtOnce) {
    T_Serial_Interface port(false);
    ASSERT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    reader.hangUp();
    uint8_t byte = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port.read(&byte, 1), ReadOutcome::LineLost);
    EXPECT_LT(Clock::now() - start, 40ms) << "no waiting for a time-out";
    EXPECT_TRUE(port.close());
}

// What one receive pass of the engine takes from a line with faults.
struct PassOutcome {
    PassResult result;
    std::vector<std::string> codes;
};

class LineFaultTest : public SerialPortTest {
protected:
    PassOutcome passWithCard(const std::function<void()>& afterOpen) {
        T_Serial_Interface port(false, PortMap(), &recording);
        EXPECT_EQ(port.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
        test::RecordingBinding binding;
        ReaderProtocol engine(port, binding);
        afterOpen();
        const PassResult result = engine.receivePass();
        return {result, binding.codes};
    }
    const std::vector<uint8_t> frame = sim::readerFrame(sim::cardContent(1, {0x12, 0x34, 0x56}));
};

TEST_F(LineFaultTest, InterruptedAndEmptyReadsInAFrameAreTriedAgain) {
    calls.failingReads = {{2, EINTR}, {5, EAGAIN}};
    const PassOutcome outcome = passWithCard([&] { reader.sendRaw(frame); });
    EXPECT_EQ(outcome.result, PassResult::Frame);
    EXPECT_EQ(outcome.codes, std::vector<std::string>{"0000123456"});
}

TEST_F(LineFaultTest, InputErrorInAFrameLosesTheLineAndNoCode) {
    calls.failingReads = {{4, EIO}};
    const PassOutcome outcome = passWithCard([&] { reader.sendRaw(frame); });
    EXPECT_EQ(outcome.result, PassResult::LineLost);
    EXPECT_TRUE(outcome.codes.empty());
}

TEST_F(LineFaultTest, HangUpInAFrameLosesTheLineAndNoCode) {
    const PassOutcome outcome = passWithCard([&] {
        reader.sendRaw(std::vector<uint8_t>(frame.begin(), frame.begin() + 5));
        reader.hangUp();
    });
    EXPECT_EQ(outcome.result, PassResult::LineLost);
    EXPECT_TRUE(outcome.codes.empty());
}

} // namespace
} // namespace pelvaro
