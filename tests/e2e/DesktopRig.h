#pragma once

#include "tests/e2e/NotificationArea.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/VirtualDisplay.h"

#include <memory>
#include <optional>
#include <string>

namespace pelvaro::test {

// A window manager (openbox) on the display, once it manages windows; null
// when it did not come up.
std::unique_ptr<ChildProcess> startWindowManager(const VirtualDisplay& display);

// A panel whose notification area takes icons (trayer), once it has taken
// the area; null when it did not come up.
std::unique_ptr<ChildProcess> startPanel(const VirtualDisplay& display,
                                         const NotificationArea& area);

// What the window manager made of a window (its WM_STATE): "Normal",
// "Iconic", or "Withdrawn" when it has none.
std::string windowState(const VirtualDisplay& display, const std::string& window);

// The window's outer size, the frame of the window manager included.
struct OuterSize {
    int width = 0;
    int height = 0;
    bool operator==(const OuterSize&) const = default;
};
std::optional<OuterSize> outerSize(const VirtualDisplay& display, const std::string& window);

} // namespace pelvaro::test
