#include "reader/ReaderSession.h"

#include <thread>

namespace pelvaro {

namespace {

void pauseFor(std::chrono::milliseconds pause) {
    if (pause.count() > 0)
        std::this_thread::sleep_for(pause);
}

} // namespace

ReaderSession::ReaderSession(ReaderProtocol& engine, T_Serial_Interface& port)
    : engine_(engine), recovery_(port) {
    engine_.beginSession();
}

StepOutcome ReaderSession::step(std::chrono::milliseconds pauseBeforePass,
                                std::chrono::milliseconds pauseWhileAway) {
    if (!recovery_.waiting())
        return pass(pauseBeforePass);
    pauseFor(pauseWhileAway);
    if (!recovery_.tryReopen())
        return StepOutcome::ReaderAway;
    engine_.beginSession();
    return StepOutcome::LineBack;
}

StepOutcome ReaderSession::pass(std::chrono::milliseconds pause) {
    pauseFor(pause);
    const PassResult result = engine_.receivePass();
    engine_.reset();
    const uint8_t message = engine_.takeMessage();
    if (result == PassResult::LineLost) {
        recovery_.lineLost();
        return StepOutcome::LineLost;
    }
    if (message == message::kStatusClear)
        return StepOutcome::StatusClear;
    if (message == message::kTransponderCode)
        return StepOutcome::CodeRead;
    return result == PassResult::Frame ? StepOutcome::OtherFrame : StepOutcome::Silence;
}

} // namespace pelvaro
