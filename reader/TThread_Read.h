#pragma once

#include "reader/ReadResult.h"
#include "reader/ReaderProtocol.h"
#include "reader/ReaderSession.h"
#include "reader/T_Serial_Interface.h"

#include <QThread>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace pelvaro {

// The message number of the read thread's events, as on Windows.
inline constexpr int WM_READER_EVENT = 0x8000 + 100;

// The events the read thread reports to the main window.
enum ReaderEvent : int {
    READER_EVENT_CODE = 1,    // a code is in the shared block
    READER_EVENT_CLEAR = 2,   // the reader's status '2': card taken away
    READER_EVENT_WAITING = 3, // a pass without a frame
    READER_EVENT_HIDE = 4,    // the first run asks to hide the window
    READER_EVENT_LOST = 5,    // the reader went away; it is waited for
    READER_EVENT_BACK = 6,    // the reader is back and read again
};

// The receiver of the read thread's events; called on the GUI thread.
class ReaderEventSink {
public:
    virtual ~ReaderEventSink() = default;
    virtual void WMReaderEvent(ReaderEvent event) = 0;
};

// Reads the reader continuously for redirect mode, and takes it up again
// when it was unplugged. The thread itself only
// paces the cycles: each cycle runs on the GUI thread (a blocking queued
// call), where the port, the engine and the shared block live, so nothing is
// shared between the threads but the hide flag, the pause gate and the
// terminate request.
class TReadSerialThread : public QThread {
    Q_OBJECT

public:
    // Created paused: nothing runs until the first resume. guiContext is an
    // object living on the GUI thread, through which the cycles are run.
    explicit TReadSerialThread(QObject* guiContext);
    ~TReadSerialThread() override;

    void setup(T_Serial_Interface& port, ReadResult& result, ReaderEventSink& window);

    // Lets the loop run on a port just opened: the first call starts the
    // thread. GUI thread only.
    void resume();
    // The loop stops at its next gate, between two cycles.
    void suspend();
    // True while the loop runs no cycle and starts none: before the first
    // resume, at its gate, or waiting for a cycle it will not run.
    bool isPaused() const;
    // Ends the loop for good; the thread is not resumed again.
    void requestTermination();

protected:
    void run() override;

private:
    class Decoding;

    void runCycle();
    void report(StepOutcome outcome);
    bool passGate();

    QObject* guiContext_;
    T_Serial_Interface* port_ = nullptr;
    ReadResult* result_ = nullptr;
    ReaderEventSink* window_ = nullptr;
    std::unique_ptr<Decoding> decoding_;
    std::unique_ptr<ReaderProtocol> engine_;
    std::optional<ReaderSession> session_;
    std::array<char, ReadResult::kCodeSize> codeText_{};

    std::mutex gateMutex_;
    std::condition_variable gate_;
    bool running_ = false;
    bool terminating_ = false;
    std::atomic<bool> atGate_{false};
    bool cycleRunning_ = false; // GUI thread only
};

} // namespace pelvaro
