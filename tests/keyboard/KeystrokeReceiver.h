#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/VirtualDisplay.h"

#include <chrono>
#include <string>
#include <string_view>

namespace pelvaro::test {

// The option that starts a test binary as the receiver instead of its tests.
inline constexpr std::string_view kReceiverOption = "--receive-keystrokes";

// A small X client on DISPLAY's server that takes the keyboard focus and
// reports what it receives on standard output, one line each:
//   "ready"        its window is mapped and has the focus
//   "text <UTF-8>" a key press that gives a character
//   "return"       a press of the Return key
//   "mapping"      a change of the keyboard map, taken in at once
// It looks each key up in its own copy of the map, as real clients do, and
// fetches that copy anew only when it gets to the change notice. A busy
// receiver takes lag before it handles each key event, as a loaded
// application does. Returns only if the server cannot be reached; it ends
// with the server.
int runKeystrokeReceiver(std::chrono::milliseconds lag);

// What the receiver reported up to a Return.
struct ReceivedLine {
    std::string text; // the characters, and "\n" for the Return
    int mapChanges = 0;
    bool complete = false; // the Return came in time
};

// The receiver running on a display: the test binary started again.
class KeystrokeReceiverProcess {
public:
    explicit KeystrokeReceiverProcess(const VirtualDisplay& display,
                                      std::chrono::milliseconds lag = {});

    // Waits until its window has the keyboard focus.
    bool waitUntilReady(std::chrono::milliseconds timeout);
    ReceivedLine receiveLine(std::chrono::milliseconds timeout);

private:
    ChildProcess process_;
};

} // namespace pelvaro::test
