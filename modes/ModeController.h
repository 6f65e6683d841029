#pragma once

#include <functional>

namespace pelvaro {

class ReaderProtocol;
class T_Serial_Interface;

// What the main window is doing. Only one mode runs at a time: they all share
// the one serial port.
enum class Mode { Idle, ListReading, SingleRead, Redirect, HardwareRequest };

// Knows which mode runs and lends it the program's one serial port and the
// main window's engine. A mode starts only from idle and only once both
// exist; it ends through end(), which closes the port and has the window
// derive the state of its controls again.
class ModeController {
public:
    // modeChanged: called after every start and end of a mode.
    explicit ModeController(std::function<void()> modeChanged);

    // The port and engine made by the start-up sequence.
    void attach(T_Serial_Interface& port, ReaderProtocol& engine);

    Mode mode() const { return mode_; }
    bool idle() const { return mode_ == Mode::Idle; }
    // A read that runs on the GUI thread below the current event handler.
    bool synchronousReadRunning() const;

    // Claims port and engine for mode; false while another mode runs or
    // before port and engine exist.
    bool begin(Mode mode);
    // Ends mode if it is the one running: the port is closed if it is still
    // open. The window is told in every case, so a failed start restores it too.
    void end(Mode mode);

    // The port and engine; only while a mode runs.
    T_Serial_Interface& port();
    ReaderProtocol& engine();

private:
    std::function<void()> modeChanged_;
    T_Serial_Interface* port_ = nullptr;
    ReaderProtocol* engine_ = nullptr;
    Mode mode_ = Mode::Idle;
};

} // namespace pelvaro
