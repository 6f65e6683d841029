#include "tests/e2e/DesktopRig.h"

#include "tests/support/Polling.h"

#include <cstdio>
#include <vector>

namespace pelvaro::test {

namespace {

// The first line of a command's output that holds the marker.
std::optional<std::string> lineWith(const VirtualDisplay& display,
                                    const std::vector<std::string>& command,
                                    const std::string& marker) {
    const auto lines = display.run(command);
    if (lines)
        for (const std::string& line : *lines)
            if (line.find(marker) != std::string::npos)
                return line;
    return std::nullopt;
}

} // namespace

std::unique_ptr<ChildProcess> startWindowManager(const VirtualDisplay& display) {
    auto manager =
        std::make_unique<ChildProcess>(std::vector<std::string>{"openbox"}, display.environment());
    const bool running = waitFor([&] {
        return lineWith(display, {"xprop", "-root", "-notype", "_NET_SUPPORTING_WM_CHECK"},
                        "window id")
            .has_value();
    });
    return running ? std::move(manager) : nullptr;
}

std::unique_ptr<ChildProcess> startPanel(const VirtualDisplay& display,
                                         const NotificationArea& area) {
    auto panel = std::make_unique<ChildProcess>(
        std::vector<std::string>{"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                 "request", "--height", "24"},
        display.environment());
    return waitFor([&] { return area.panelRunning(); }) ? std::move(panel) : nullptr;
}

std::string windowState(const VirtualDisplay& display, const std::string& window) {
    const auto line = lineWith(display, {"xprop", "-id", window, "WM_STATE"}, "window state:");
    if (!line)
        return "Withdrawn";
    const std::string state = line->substr(line->find(':') + 1);
    return state.substr(state.find_first_not_of(' '));
}

std::optional<OuterSize> outerSize(const VirtualDisplay& display, const std::string& window) {
    const auto extents =
        lineWith(display, {"xprop", "-id", window, "_NET_FRAME_EXTENTS"}, "_NET_FRAME_EXTENTS");
    int left = 0, right = 0, top = 0, bottom = 0;
    if (extents && std::sscanf(extents->substr(extents->find('=') + 1).c_str(), "%d, %d, %d, %d",
                               &left, &right, &top, &bottom) != 4)
        return std::nullopt;
    const auto client = display.run({"xwininfo", "-id", window});
    if (!client)
        return std::nullopt;
    OuterSize size{left + right, top + bottom};
    for (const std::string& line : *client) {
        const auto value = [&] { return std::stoi(line.substr(line.find(':') + 1)); };
        if (line.find("Width:") != std::string::npos)
            size.width += value();
        else if (line.find("Height:") != std::string::npos)
            size.height += value();
    }
    return size;
}

} // namespace pelvaro::test
