#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string_view>

namespace pelvaro {

// Synthetic keyboard input for whichever window holds the keyboard focus.
class KeystrokeInjector {
public:
    virtual ~KeystrokeInjector() = default;

    // Types the text as itself, whatever the keyboard layout, Shift or Caps
    // Lock: per character one press and one release, then ENTER when asked.
    // A character that cannot be typed is skipped and the rest still goes
    // out; false if one was skipped or nothing could be sent.
    virtual bool typeText(std::u32string_view text, bool enter) = 0;
    // Gives back what typing borrowed from the system (keys bound for
    // characters the keyboard map lacks); typing again borrows anew.
    virtual void release() {}
};

// Runs work once the delay has passed, on the calling thread, without
// blocking it meanwhile: in the program a timer of its event loop. An
// injector given none waits in place instead.
using DeferredCall =
    std::function<void(std::chrono::milliseconds delay, std::function<void()> work)>;

} // namespace pelvaro
