#include "modes/ModeController.h"

#include "reader/T_Serial_Interface.h"

#include <cassert>

namespace pelvaro {

ModeController::ModeController(std::function<void()> modeChanged)
    : modeChanged_(std::move(modeChanged)) {}

void ModeController::attach(T_Serial_Interface& port, ReaderProtocol& engine) {
    port_ = &port;
    engine_ = &engine;
}

bool ModeController::synchronousReadRunning() const {
    return mode_ == Mode::ListReading || mode_ == Mode::SingleRead ||
           mode_ == Mode::HardwareRequest;
}

bool ModeController::begin(Mode mode) {
    if (!idle() || !port_ || !engine_)
        return false;
    mode_ = mode;
    modeChanged_();
    return true;
}

void ModeController::end(Mode mode) {
    if (mode_ == mode && mode != Mode::Idle) {
        port_->close();
        mode_ = Mode::Idle;
    }
    modeChanged_();
}

T_Serial_Interface& ModeController::port() {
    assert(!idle());
    return *port_;
}

ReaderProtocol& ModeController::engine() {
    assert(!idle());
    return *engine_;
}

} // namespace pelvaro
