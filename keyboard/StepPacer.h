#pragma once

#include "keyboard/KeystrokeInjector.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace pelvaro {

// Typing done in steps with pauses between them, so that whoever reads the
// strokes keeps up: each step gives the pause before the next, or none once
// all is typed. The pauses pass on the caller's event loop when there is a
// DeferredCall; without one the caller waits in place.
class StepPacer {
public:
    using Pause = std::optional<std::chrono::milliseconds>;
    using Step = std::function<Pause()>;

    StepPacer(DeferredCall later, Step step);

    // Takes steps until all is typed or a pause passes on the event loop;
    // during such a pause it does nothing, the steps go on after it.
    void run();
    bool waiting() const { return waiting_; }
    // Runs work once the delay has passed on the event loop, unless the
    // pacer has ended by then; without an event loop, never.
    void after(std::chrono::milliseconds delay, std::function<void()> work);

private:
    DeferredCall later_;
    Step step_;
    bool waiting_ = false;
    std::shared_ptr<bool> alive_; // for calls that come after the end
};

} // namespace pelvaro
