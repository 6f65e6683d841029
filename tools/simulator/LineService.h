#pragma once

#include "reader/ByteLink.h"
#include "reader/LinkFraming.h"
#include "tools/simulator/SimulatorState.h"

#include <atomic>
#include <optional>
#include <thread>

namespace pelvaro::sim {

// The simulator's service thread: reads everything the program sends, hands
// DLE ACK and DLE NAK to the frame being sent, and acknowledges and answers
// request frames as the reader does.
class LineService {
public:
    explicit LineService(SimulatorState& state); // starts the thread
    ~LineService();
    LineService(const LineService&) = delete;
    LineService& operator=(const LineService&) = delete;

    // Ends and joins the thread; later calls do nothing.
    void stop();

private:
    // The receiver's link: its DLE ACK and DLE NAK reach the line only while
    // the simulator answers requests.
    class AnswerLink final : public ByteLink {
    public:
        explicit AnswerLink(SimulatorState& state) : state_(state) {}
        ReadOutcome read(uint8_t*, size_t) override { return ReadOutcome::Failed; }
        bool write(const uint8_t* bytes, size_t count) override;

    private:
        SimulatorState& state_;
    };

    // The reply to the hardware query, repeated on DLE NAK like every frame of
    // the reader, until answered or timed out.
    struct PendingReply {
        std::vector<uint8_t> frame;
        int transmissions = 0;
        Clock::time_point deadline;
    };

    void run();
    void receive(uint8_t byte);
    void takeAnswer(uint8_t answer);
    void handleRequest(std::span<const uint8_t> frame);
    void transmitReply();
    void noteOpening();

    SimulatorState& state_;
    AnswerLink link_;
    FrameReceiver receiver_;
    std::optional<PendingReply> reply_;
    std::atomic<bool> stopping_{false};
    std::thread thread_; // last: starts once everything above exists
};

} // namespace pelvaro::sim
