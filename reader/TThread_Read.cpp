#include "reader/TThread_Read.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>

namespace pelvaro {

namespace {

// The thread's pause after each cycle, so the GUI thread is never claimed
// back to back.
constexpr unsigned long kPauseAfterCycleMs = 5;

} // namespace

// The thread's engine formats with the shared block's settings and keeps the
// code in the thread's own text until the cycle hands it over.
class TReadSerialThread::Decoding final : public DecodeBinding {
public:
    Decoding(const ReadResult& result, std::array<char, ReadResult::kCodeSize>& text)
        : result_(result), text_(text) {}

    int cardLength() const override { return result_.cardLength; }
    bool hitagInverse() const override { return result_.hitagInverse; }
    void storeCode(std::string_view code) override {
        text_.fill(0);
        std::copy_n(code.begin(), std::min(code.size(), text_.size() - 1), text_.begin());
    }

private:
    const ReadResult& result_;
    std::array<char, ReadResult::kCodeSize>& text_;
};

TReadSerialThread::TReadSerialThread(QObject* guiContext) : guiContext_(guiContext) {}

TReadSerialThread::~TReadSerialThread() {
    suspend();
    // A cycle may be waiting for the GUI thread: let it run out first.
    while (isRunning() && !isPaused())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    requestTermination();
    wait();
}

void TReadSerialThread::setup(T_Serial_Interface& port, ReadResult& result,
                              ReaderEventSink& window) {
    port_ = &port;
    result_ = &result;
    window_ = &window;
    decoding_ = std::make_unique<Decoding>(result, codeText_);
    engine_ = std::make_unique<ReaderProtocol>(port, *decoding_,
                                               [] { QCoreApplication::processEvents(); });
}

void TReadSerialThread::resume() {
    // A session before may have stopped while waiting for its reader.
    if (port_)
        session_.emplace(*engine_, *port_);
    {
        const std::lock_guard lock(gateMutex_);
        running_ = true;
    }
    gate_.notify_all();
    if (!isRunning() && !isFinished())
        start();
}

void TReadSerialThread::suspend() {
    const std::lock_guard lock(gateMutex_);
    running_ = false;
}

bool TReadSerialThread::isPaused() const {
    // Started, it is paused only once it has reached its gate: before that it
    // may still wait for the GUI thread to take its hide request. A thread
    // waiting for a cycle on the GUI thread runs no further cycle once
    // suspended: for whoever waits on the GUI thread it is paused.
    return !isRunning() || atGate_ || (cycleRunning_ && !running_);
}

void TReadSerialThread::requestTermination() {
    {
        const std::lock_guard lock(gateMutex_);
        terminating_ = true;
    }
    gate_.notify_all();
}

bool TReadSerialThread::passGate() {
    std::unique_lock lock(gateMutex_);
    if (!running_ && !terminating_) {
        atGate_ = true;
        gate_.wait(lock, [this] { return running_ || terminating_; });
    }
    atGate_ = false;
    return !terminating_;
}

void TReadSerialThread::run() {
    if (result_->hideOnStart.exchange(false))
        QMetaObject::invokeMethod(
            guiContext_, [this] { window_->WMReaderEvent(READER_EVENT_HIDE); },
            Qt::BlockingQueuedConnection);
    while (passGate()) {
        QMetaObject::invokeMethod(
            guiContext_, [this] { runCycle(); }, Qt::BlockingQueuedConnection);
        msleep(kPauseAfterCycleMs);
    }
}

void TReadSerialThread::runCycle() {
    cycleRunning_ = true;
    QCoreApplication::processEvents();
    report(session_->step(kPauseBeforePass, std::chrono::milliseconds(0)));
    cycleRunning_ = false;
}

void TReadSerialThread::report(StepOutcome outcome) {
    switch (outcome) {
    case StepOutcome::CodeRead: {
        result_->code.fill(0);
        const size_t length = static_cast<size_t>(boundedCardLength(result_->cardLength));
        std::copy_n(codeText_.begin(), std::min(length, std::strlen(codeText_.data())),
                    result_->code.begin());
        window_->WMReaderEvent(READER_EVENT_CODE);
        break;
    }
    case StepOutcome::StatusClear:
        window_->WMReaderEvent(READER_EVENT_CLEAR);
        break;
    case StepOutcome::Silence:
        window_->WMReaderEvent(READER_EVENT_WAITING);
        break;
    case StepOutcome::LineLost:
        // Its pass brought no frame either.
        window_->WMReaderEvent(READER_EVENT_WAITING);
        window_->WMReaderEvent(READER_EVENT_LOST);
        break;
    case StepOutcome::LineBack:
        window_->WMReaderEvent(READER_EVENT_BACK);
        break;
    case StepOutcome::OtherFrame:
    case StepOutcome::ReaderAway:
        break;
    }
}

} // namespace pelvaro
