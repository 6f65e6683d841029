#pragma once

#include "tests/support/XConnection.h"

#include <string>
#include <vector>

namespace pelvaro::test {

// A connection of the test's own to an X server, to look at its keyboard and
// to take all spare keycodes away. Its connection alone keeps the server from
// resetting the keyboard when its last other client leaves.
class KeyboardObserver : private XConnection {
public:
    explicit KeyboardObserver(const std::string& displayName); // throws std::runtime_error

    bool capsLockOn() const;
    bool shiftDown() const;
    unsigned activeGroup() const;
    // Locks the keyboard in the layout group (0 for the first layout).
    void lockGroup(unsigned group);
    // The keysyms of every key, as the core protocol gives them.
    std::vector<unsigned long> keyboardMap() const;
    // Binds every keycode without symbols to F35, but the first leaveFree.
    void fillSpareKeycodes(int leaveFree = 0);
    // How often a lock (Caps Lock, Num Lock, ...) or the locked layout group
    // changed since the last call.
    int lockChanges();

private:
    int xkbEvent_ = 0;
};

} // namespace pelvaro::test
