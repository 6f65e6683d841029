#pragma once

#include "tests/support/XConnection.h"

#include <optional>
#include <string>

namespace pelvaro::test {

// The colours of the program's LED images as they show on the screen.
enum class LedColour { Other, YellowLit, YellowUnlit, GreenLit };
const char* toString(LedColour colour);

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// A look at the notification area of a panel (trayer) and at the windows a
// program shows there, through a connection of the test's own.
class NotificationArea : private XConnection {
public:
    explicit NotificationArea(const std::string& displayName); // throws std::runtime_error

    // A panel has taken the notification area of the screen.
    bool panelRunning() const;
    // The program's icon docked in the panel and visible, by the program's
    // class name (the executable's name for a Qt program).
    std::optional<unsigned long> icon(const std::string& programClass) const;
    ScreenPoint centre(unsigned long window) const;
    // The colour of the LED a window shows.
    LedColour colour(unsigned long window) const;
    // A pop-up of the program (a tip or a menu: a window that bypasses the
    // window manager) is on the screen.
    bool showsPopup(const std::string& programClass) const;
    bool viewable(unsigned long window) const;
};

} // namespace pelvaro::test
