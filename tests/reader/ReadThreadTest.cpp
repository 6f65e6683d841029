// The read thread against a simulated reader on a pseudo-terminal: its events,
// the hide request, pausing and resuming, and its end.

#include "reader/TThread_Read.h"
#include "tests/support/EventLoopWait.h"
#include "tools/simulator/ReaderSimulator.h"

#include <QObject>
#include <algorithm>
#include <future>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using test::waitUntil;
using Bytes = std::vector<uint8_t>;

// The window's side: records every event; a test may react to one.
class RecordingSink final : public ReaderEventSink {
public:
    void WMReaderEvent(ReaderEvent event) override {
        events.push_back(event);
        if (event == READER_EVENT_CODE)
            codes.emplace_back(result->code.data());
        if (onEvent)
            onEvent(event);
    }
    int count(int event) const {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }

    ReadResult* result = nullptr;
    std::vector<int> events;
    std::vector<std::string> codes;
    std::function<void(ReaderEvent)> onEvent;
};

class ReadThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(port.openDevice(reader.devicePath(), kReaderBaudRate), OpenResult::Opened);
        port.flush();
        sink.result = &result;
        thread.setup(port, result, sink);
    }

    // Sends from another thread: the GUI thread must keep serving the cycles.
    void sendFromReader(const std::function<void()>& send) {
        auto sending = std::async(std::launch::async, send);
        while (sending.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        sending.get();
    }

    void pauseAndWait() {
        thread.suspend();
        ASSERT_TRUE(waitUntil([this] { return thread.isPaused(); }));
    }

    sim::ReaderSimulator reader;
    T_Serial_Interface port{false};
    ReadResult result;
    RecordingSink sink;
    QObject gui;
    TReadSerialThread thread{&gui};
};

TEST_F(ReadThreadTest, SilenceGivesOnlyWaitingEvents) {
    thread.resume();
    ASSERT_TRUE(waitUntil([this] { return sink.events.size() >= 5; }));
    EXPECT_EQ(sink.count(READER_EVENT_WAITING), static_cast<int>(sink.events.size()));
}

TEST_F(ReadThreadTest, CardGivesOneCodeEventWithTheCardLength) {
    result.cardLength = 8;
    result.hitagInverse = false;
    thread.resume();
    sendFromReader([this] {
        EXPECT_TRUE(reader.sendCard(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A}, 2).acknowledged);
    });
    ASSERT_TRUE(waitUntil([this] { return sink.count(READER_EVENT_CODE) == 1; }));
    EXPECT_EQ(sink.codes, std::vector<std::string>{"3456789A"});
    EXPECT_EQ(std::string(result.code.data()), "3456789A");
}

TEST_F(ReadThreadTest, StatusGivesClearAndUnknownFramesNothing) {
    thread.resume();
    sendFromReader([this] {
        reader.sendStatus('k', '2');
        reader.sendFrame(Bytes{'1', 'b', 0x01});
    });
    ASSERT_TRUE(waitUntil([this] { return sink.count(READER_EVENT_CLEAR) == 1; }));
    pauseAndWait();
    EXPECT_EQ(sink.count(READER_EVENT_CODE), 0);
    EXPECT_EQ(sink.count(READER_EVENT_CLEAR), 1);
    EXPECT_EQ(sink.count(READER_EVENT_HIDE), 0);
}

TEST_F(ReadThreadTest, HideIsAskedOnceAndOnlyWhenSet) {
    result.hideOnStart = true;
    thread.resume();
    ASSERT_TRUE(waitUntil([this] { return sink.events.size() >= 3; }));
    EXPECT_EQ(sink.events.front(), READER_EVENT_HIDE);
    EXPECT_FALSE(result.hideOnStart);

    pauseAndWait();
    result.hideOnStart = true; // a later resume continues the loop, no new start
    const size_t before = sink.events.size();
    thread.resume();
    ASSERT_TRUE(waitUntil([&] { return sink.events.size() >= before + 3; }));
    EXPECT_EQ(sink.count(READER_EVENT_HIDE), 1);
}

TEST_F(ReadThreadTest, PausedOnlyOnceTheHideRequestIsServed) {
    EXPECT_TRUE(thread.isPaused()) << "created paused";
    result.hideOnStart = true;
    thread.resume();
    thread.suspend();
    // The thread waits for the GUI thread to take its hide request: a stop
    // that took it for paused would close the port under it, and a shutdown
    // would wait for it for ever.
    EXPECT_FALSE(thread.isPaused());
    ASSERT_TRUE(waitUntil([this] { return thread.isPaused(); }));
    EXPECT_EQ(sink.events, std::vector<int>{READER_EVENT_HIDE});
}

TEST_F(ReadThreadTest, PausedThreadSendsNothingAndResumesWhereItStopped) {
    thread.resume();
    ASSERT_TRUE(waitUntil([this] { return !sink.events.empty(); }));
    pauseAndWait();
    const size_t paused = sink.events.size();
    test::serveEventsFor(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.events.size(), paused);
    thread.resume();
    sendFromReader([this] { reader.sendCard(Bytes{0x01}); });
    ASSERT_TRUE(waitUntil([this] { return sink.count(READER_EVENT_CODE) == 1; }));
}

TEST_F(ReadThreadTest, StopInsideACycleDoesNotDeadlock) {
    bool stopped = false;
    sink.onEvent = [&](ReaderEvent event) {
        if (event != READER_EVENT_WAITING || stopped)
            return;
        stopped = true; // the stop button, handled inside a cycle
        thread.suspend();
        EXPECT_TRUE(waitUntil([this] { return thread.isPaused(); }));
        port.close();
    };
    thread.resume();
    ASSERT_TRUE(waitUntil([&] { return stopped; }));
    ASSERT_TRUE(waitUntil([this] { return thread.isPaused(); }));
    const size_t after = sink.events.size();
    test::serveEventsFor(std::chrono::milliseconds(200));
    EXPECT_LE(sink.events.size(), after + 1) << "at most the cycle that was running";
}

TEST_F(ReadThreadTest, EndsWhileRunning) {
    auto running = std::make_unique<TReadSerialThread>(&gui);
    running->setup(port, result, sink);
    running->resume();
    ASSERT_TRUE(waitUntil([this] { return !sink.events.empty(); }));
    running.reset(); // must return
    SUCCEED();
}

} // namespace
} // namespace pelvaro
