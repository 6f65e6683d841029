#include "keyboard/StepPacer.h"

#include <thread>

namespace pelvaro {

StepPacer::StepPacer(DeferredCall later, Step step)
    : later_(std::move(later)), step_(std::move(step)), alive_(std::make_shared<bool>(true)) {}

void StepPacer::run() {
    if (waiting_)
        return;
    while (const Pause pause = step_()) {
        if (!later_) {
            std::this_thread::sleep_for(*pause);
            continue;
        }
        waiting_ = true;
        after(*pause, [this] {
            waiting_ = false;
            run();
        });
        return;
    }
}

void StepPacer::after(std::chrono::milliseconds delay, std::function<void()> work) {
    if (!later_)
        return;
    later_(delay, [alive = std::weak_ptr<bool>(alive_), work = std::move(work)] {
        if (!alive.expired())
            work();
    });
}

} // namespace pelvaro
