#include "tools/simulator/LineService.h"

#include "tools/simulator/SimulatorFrames.h"

#include <array>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pelvaro::sim {

namespace {

// How soon the thread notices stop() and an expired reply.
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr uint8_t kHardwareRequest = 'H';

// Address, DLE ETX and the two check characters around a request's payload.
constexpr size_t kRequestOverhead = 5;

} // namespace

bool LineService::AnswerLink::write(const uint8_t* bytes, size_t count) {
    {
        std::lock_guard lock(state_.mutex);
        if (!state_.answerRequests)
            return true; // a reader that stays silent
    }
    return state_.write({bytes, count}, false);
}

LineService::LineService(SimulatorState& state)
    : state_(state), link_(state), receiver_(link_), thread_([this] { run(); }) {}

LineService::~LineService() {
    stop();
}

void LineService::stop() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

void LineService::run() {
    std::array<uint8_t, 256> buffer{};
    while (!stopping_) {
        pollfd readable{state_.line.master(), POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(kPollInterval.count()));
        if (reply_ && Clock::now() >= reply_->deadline)
            reply_.reset();
        if (ready <= 0)
            continue;
        const ssize_t got = ::read(readable.fd, buffer.data(), buffer.size());
        if (got <= 0) {
            // EIO while no slave is open: nothing to read until one is.
            std::this_thread::sleep_for(kPollInterval);
            continue;
        }
        // Packet mode: data after a zero byte, otherwise one byte of queue events.
        if (buffer[0] != TIOCPKT_DATA) {
            if (buffer[0] & TIOCPKT_FLUSHREAD)
                noteOpening();
            continue;
        }
        for (ssize_t i = 1; i < got; ++i)
            receive(buffer[static_cast<size_t>(i)]);
    }
}

void LineService::receive(uint8_t byte) {
    receiver_.feedByte(byte);
    if (const uint8_t answer = receiver_.takeAcknowledgement())
        takeAnswer(answer);
    if (receiver_.frameReady()) {
        receiver_.clearFrameReady();
        handleRequest(receiver_.frame().bytes());
    }
}

void LineService::takeAnswer(uint8_t answer) {
    {
        std::lock_guard lock(state_.mutex);
        ++(answer == control::ACK ? state_.acknowledgements : state_.negativeAcknowledgements);
        if (!reply_) {
            state_.answer = answer;
            state_.changed.notify_all();
            return;
        }
    }
    if (answer == control::NAK && reply_->transmissions <= ReaderSimulator::kMaxRepetitions)
        transmitReply();
    else
        reply_.reset();
}

void LineService::handleRequest(std::span<const uint8_t> frame) {
    const auto payload = frame.size() >= kRequestOverhead
                             ? frame.subspan(1, frame.size() - kRequestOverhead)
                             : std::span<const uint8_t>();
    bool answering = false;
    HardwareInfo hardware;
    ReaderSimulator::RequestObserver observer;
    {
        std::lock_guard lock(state_.mutex);
        ++state_.requests;
        state_.lastRequest.assign(payload.begin(), payload.end());
        answering = state_.answerRequests;
        hardware = state_.hardware;
        observer = state_.observer;
    }
    const bool hardwareRequest = frame[0] == ReaderSimulator::kAddressCharacter &&
                                 payload.size() == 1 && payload[0] == kHardwareRequest;
    if (answering && hardwareRequest) {
        const std::array<uint8_t, 5> content = {ReaderSimulator::kAddressCharacter,
                                                hardware.platform, hardware.rfidTechnology,
                                                hardware.keyboard, hardware.ioBox};
        reply_ = PendingReply{readerFrame(content), 0, {}};
        transmitReply();
    }
    if (observer)
        observer(payload, answering);
}

void LineService::transmitReply() {
    state_.write(reply_->frame, true);
    ++reply_->transmissions;
    std::lock_guard lock(state_.mutex);
    reply_->deadline = Clock::now() + state_.acknowledgementTimeout;
}

void LineService::noteOpening() {
    std::lock_guard lock(state_.mutex);
    ++state_.openings;
    state_.changed.notify_all();
}

} // namespace pelvaro::sim
