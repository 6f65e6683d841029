#pragma once

#include "keyboard/KeystrokeInjector.h"
#include "keyboard/StepPacer.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace pelvaro {

struct Wanted;

// Key strokes through the XTest extension of an X server, on a connection of
// its own. The keyboard map is fetched once per text. A character is typed
// with a key and level that the map already has for it; the characters it
// lacks are bound together to spare keys in one map change before the text,
// and stay bound long after it, since a busy client looks keys up late. Caps
// Lock, held modifiers and the layout group are changed only for a character
// that needs it, and put back after the text.
class XTestInjector final : public KeystrokeInjector {
public:
    enum class Problem { None, NoDisplayNamed, NotReachable, NoXTest };
    struct Opening {
        std::unique_ptr<XTestInjector> injector; // null on a problem
        Problem problem = Problem::None;
        std::string displayName;
    };

    // Connects to the named X server, or to DISPLAY's when the name is empty.
    // later runs the pauses between portions of a text and the release of
    // spare keys; without it the injector waits in place and keeps its keys
    // until the next text needs them, release() or its end.
    static Opening open(const std::string& displayName = {}, DeferredCall later = {});
    ~XTestInjector() override;

    TypingResult typeText(std::u32string_view text, bool enter) override;
    // Frees the spare keys once no portion waits.
    void release() override;

private:
    class Connection;

    XTestInjector(std::unique_ptr<Connection> connection, DeferredCall later);
    StepPacer::Pause typeQueued();
    void scheduleUnbinding();

    std::unique_ptr<Connection> connection_;
    std::deque<std::vector<Wanted>> queue_; // texts not yet typed, in order
    TypingResult typing_;                   // of the portions typed in this call
    bool frontBegun_ = false;               // a portion of the first text is typed
    unsigned typings_ = 0;
    StepPacer pacer_;
};

} // namespace pelvaro
