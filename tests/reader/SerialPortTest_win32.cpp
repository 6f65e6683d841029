// The Win32 serial port against a device made of the system-call table: the
// driver errors of an unplugged adapter, a refused setting or a port without
// modem lines, which wine's ports cannot produce.

#include "reader/SerialSystemCalls_win32.h"
#include "reader/T_Serial_Interface.h"

#include <chrono>
#include <deque>
#include <gtest/gtest.h>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

// One answer of the device to a read: an error, or some bytes after a while.
struct ReadAnswer {
    DWORD error = 0;
    DWORD bytes = 0;
    std::chrono::milliseconds after{0};
};

// A serial device as the driver shows it; one test at a time uses it.
struct FakeDevice {
    DWORD openError = 0;
    bool setupRefused = false;
    bool stateUnreadable = false;
    bool stateRefused = false;
    bool timeoutsRefused = false;
    DWORD statusError = 0; // ClearCommError fails with it
    DWORD escapeError = 0;
    DWORD writeError = 0;
    DCB state{};
    COMMTIMEOUTS timeouts{};
    std::deque<ReadAnswer> reads; // then silence
    int readCalls = 0;
    int statesSet = 0;
    int closes = 0;
};
FakeDevice* device = nullptr;

const HANDLE kHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x5e7));

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

const SerialSystemCalls kFakeCalls{
    [](const char*) {
        if (device->openError == 0)
            return kHandle;
        SetLastError(device->openError);
        return INVALID_HANDLE_VALUE;
    },
    [](HANDLE) {
        ++device->closes;
        return TRUE;
    },
    [](HANDLE, DWORD, DWORD) { return device->setupRefused ? fail(ERROR_INVALID_FUNCTION) : TRUE; },
    [](HANDLE, DCB* state) {
        if (device->stateUnreadable)
            return fail(ERROR_INVALID_FUNCTION);
        *state = device->state;
        return TRUE;
    },
    [](HANDLE, DCB* state) {
        // The driver refuses the reader's settings, but takes its own back.
        if (device->stateRefused && state->BaudRate != device->state.BaudRate)
            return fail(ERROR_INVALID_PARAMETER);
        ++device->statesSet;
        device->state = *state;
        return TRUE;
    },
    [](HANDLE, COMMTIMEOUTS* timeouts) {
        *timeouts = device->timeouts;
        return TRUE;
    },
    [](HANDLE, COMMTIMEOUTS* timeouts) {
        if (device->timeoutsRefused &&
            timeouts->ReadIntervalTimeout != device->timeouts.ReadIntervalTimeout)
            return fail(ERROR_INVALID_PARAMETER);
        device->timeouts = *timeouts;
        return TRUE;
    },
    [](HANDLE, DWORD) { return TRUE; },
    [](HANDLE, DWORD* errors, COMSTAT*) {
        *errors = 0;
        return device->statusError ? fail(device->statusError) : TRUE;
    },
    [](HANDLE, DWORD) { return device->escapeError ? fail(device->escapeError) : TRUE; },
    [](HANDLE, void*, DWORD count, DWORD* got) {
        ++device->readCalls;
        ReadAnswer answer{0, 0, 51ms}; // silence waits out the time-out
        if (!device->reads.empty()) {
            answer = device->reads.front();
            device->reads.pop_front();
        }
        std::this_thread::sleep_for(answer.after);
        *got = std::min(answer.bytes, count);
        return answer.error ? fail(answer.error) : TRUE;
    },
    [](HANDLE, const void*, DWORD count, DWORD* written) {
        *written = device->writeError ? 0 : count;
        return device->writeError ? fail(device->writeError) : TRUE;
    },
};

class SerialPortWin32Test : public ::testing::Test {
protected:
    SerialPortWin32Test() {
        device = &fake;
        fake.state.DCBlength = sizeof(DCB);
        fake.state.BaudRate = 115200;
        fake.state.ByteSize = 7;
        fake.state.Parity = EVENPARITY;
        fake.state.fDtrControl = DTR_CONTROL_ENABLE;
        fake.state.fRtsControl = RTS_CONTROL_HANDSHAKE;
        fake.state.fOutxCtsFlow = 1;
        fake.timeouts = {MAXDWORD, 0, 0, 0, 0};
    }
    ~SerialPortWin32Test() override {
        port.close();
        device = nullptr;
    }

    OpenResult open(T_Serial_Interface& port) { return port.openDevice("\\\\.\\COM3", 9600); }

    FakeDevice fake;
    T_Serial_Interface port{false, PortMap(), &kFakeCalls};
};

TEST_F(SerialPortWin32Test, OpenFailureNamesItsReason) {
    const std::pair<DWORD, PortProblem::Kind> cases[] = {
        {ERROR_FILE_NOT_FOUND, PortProblem::Kind::Missing},
        {ERROR_PATH_NOT_FOUND, PortProblem::Kind::Missing},
        {ERROR_ACCESS_DENIED, PortProblem::Kind::Busy}, // another program holds it
        {ERROR_SHARING_VIOLATION, PortProblem::Kind::Busy},
        {ERROR_GEN_FAILURE, PortProblem::Kind::Other},
    };
    for (const auto& [error, reason] : cases) {
        fake.openError = error;
        EXPECT_EQ(open(port), OpenResult::Failed) << error;
        EXPECT_EQ(port.problem().kind, reason) << error;
        EXPECT_FALSE(port.isOpen());
    }
    fake.openError = 0;
    ASSERT_EQ(open(port), OpenResult::Opened);
    EXPECT_EQ(port.problem().kind, PortProblem::Kind::None);
}

TEST_F(SerialPortWin32Test, PortThatCannotBeTheReadersLineIsReleasedAsItWas) {
    const DCB found = fake.state;
    for (bool FakeDevice::*refusal : {&FakeDevice::setupRefused, &FakeDevice::stateUnreadable,
                                      &FakeDevice::stateRefused, &FakeDevice::timeoutsRefused}) {
        fake.*refusal = true;
        fake.closes = 0;
        EXPECT_EQ(open(port), OpenResult::NotSerial);
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(fake.closes, 1) << "the handle is not leaked";
        EXPECT_EQ(fake.state.BaudRate, found.BaudRate);
        EXPECT_EQ(fake.state.fRtsControl, found.fRtsControl) << "a half-made setting is undone";
        EXPECT_EQ(fake.timeouts.ReadIntervalTimeout, MAXDWORD);
        fake.*refusal = false;
    }
}

TEST_F(SerialPortWin32Test, LineGetsBackItsSettingsAtCloseUnlessItWasLost) {
    ASSERT_EQ(open(port), OpenResult::Opened);
    EXPECT_EQ(fake.state.BaudRate, 9600u);
    EXPECT_EQ(fake.state.ByteSize, 8);
    EXPECT_EQ(fake.state.Parity, NOPARITY);
    EXPECT_EQ(fake.state.fOutxCtsFlow, 0u);
    EXPECT_EQ(fake.state.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(fake.state.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(fake.timeouts.ReadTotalTimeoutConstant, 50u);

    EXPECT_TRUE(port.close());
    EXPECT_EQ(fake.state.BaudRate, 115200u);
    EXPECT_EQ(fake.state.Parity, EVENPARITY);
    EXPECT_EQ(fake.state.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(fake.state.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(fake.timeouts.ReadIntervalTimeout, MAXDWORD);

    ASSERT_EQ(open(port), OpenResult::Opened);
    fake.reads.push_back({ERROR_DEVICE_NOT_CONNECTED});
    uint8_t byte = 0;
    ASSERT_EQ(port.read(&byte, 1), ReadOutcome::LineLost);
    fake.statesSet = 0;
    port.close();
    EXPECT_EQ(fake.statesSet, 0) << "a device that is gone is not set up";
}

TEST_F(SerialPortWin32Test, LineIsLostWhenTheDriverSaysSoAndNotWhenItIsSilent) {
    ASSERT_EQ(open(port), OpenResult::Opened);
    uint8_t bytes[4] = {};
    fake.reads = {{0, 0, 51ms}, {0, 0, 0ms}, {0, 2, 0ms}, {0, 0, 0ms}, {ERROR_OPERATION_ABORTED}};
    for (int read = 0; read < 5; ++read) {
        const ReadOutcome outcome = port.read(bytes, 4);
        EXPECT_NE(outcome, ReadOutcome::Complete);
        EXPECT_NE(outcome, ReadOutcome::LineLost) << "read " << read << ": silence, a short read, "
                                                  << "one early empty read or a purge";
    }
    fake.reads = {{0, 4, 0ms}};
    EXPECT_EQ(port.read(bytes, 4), ReadOutcome::Complete);

    // What drivers and wine answer for an adapter that was pulled out.
    const std::deque<ReadAnswer> losses[] = {
        {{ERROR_ACCESS_DENIED}},
        {{ERROR_BAD_COMMAND}},
        {{ERROR_GEN_FAILURE}},
        {{0, 0, 0ms}, {0, 0, 0ms}}, // empty reads that do not wait
    };
    for (const auto& answers : losses) {
        port.close();
        ASSERT_EQ(open(port), OpenResult::Opened);
        fake.reads = answers;
        for (size_t read = 1; read <= answers.size(); ++read)
            EXPECT_EQ(port.read(bytes, 1),
                      read < answers.size() ? ReadOutcome::TimedOut : ReadOutcome::LineLost)
                << answers.front().error;
        const int calls = fake.readCalls;
        EXPECT_EQ(port.read(bytes, 1), ReadOutcome::LineLost);
        EXPECT_EQ(fake.readCalls, calls) << "a lost line fails at once";
    }

    port.close();
    ASSERT_EQ(open(port), OpenResult::Opened);
    fake.statusError = ERROR_NOT_READY; // wine's pseudo-terminal that hung up
    EXPECT_EQ(port.read(bytes, 1), ReadOutcome::LineLost);

    port.close();
    fake.statusError = 0;
    ASSERT_EQ(open(port), OpenResult::Opened);
    fake.writeError = ERROR_DEVICE_NOT_CONNECTED;
    EXPECT_FALSE(port.write(bytes, 2));
    const int calls = fake.readCalls;
    EXPECT_EQ(port.read(bytes, 1), ReadOutcome::LineLost);
    EXPECT_EQ(fake.readCalls, calls) << "the write found the line gone";
}

TEST_F(SerialPortWin32Test, FlushOfAPortWithoutModemLinesSucceeds) {
    EXPECT_FALSE(port.flush()) << "not open";
    ASSERT_EQ(open(port), OpenResult::Opened);
    EXPECT_TRUE(port.flush());
    fake.escapeError = ERROR_NOT_SUPPORTED; // wine's pseudo-terminal
    EXPECT_TRUE(port.flush());
    fake.escapeError = ERROR_NOT_READY;
    EXPECT_FALSE(port.flush());
}

} // namespace
} // namespace pelvaro
