#include "tests/support/VirtualDisplay.h"

#include "tests/support/Polling.h"

namespace pelvaro::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

VirtualDisplay::VirtualDisplay(int width, int height,
                               const std::vector<std::string>& serverOptions) {
    // -displayfd: Xvfb picks a free display itself and writes its number once
    // it accepts clients, so parallel tests never race for a number.
    // -noreset: by default the server resets whenever its last client leaves
    // and drops a client that is connecting at that moment; the tests' short
    // xdotool calls would make that happen to the program under test.
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::vector<std::string> command = {"Xvfb", "-displayfd", "1",   "-screen", "0",
                                        screen, "-nolisten",  "tcp", "-noreset"};
    command.insert(command.end(), serverOptions.begin(), serverOptions.end());
    std::optional<std::string> number;
    server_ =
        std::make_unique<ServerProcess>("Xvfb", command, std::nullopt, [&](ChildProcess& xvfb) {
            number = xvfb.readLine(10s);
            return number && !number->empty();
        });
    name_ = ":" + *number;
}

std::vector<std::string> VirtualDisplay::environment() const {
    // An empty WAYLAND_DISPLAY is none. XDG_RUNTIME_DIR private and mode
    // 0700, as Qt wants it; spares the warning about a missing one.
    return environmentWith({"DISPLAY=" + name_, "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb",
                            "XDG_RUNTIME_DIR=" + runtimeDirectory_.path().string()});
}

std::optional<std::vector<std::string>>
VirtualDisplay::run(const std::vector<std::string>& command,
                    std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    ChildProcess client(command, environment());
    std::vector<std::string> lines;
    while (std::optional<std::string> line = client.readLine(timeLeft(deadline)))
        lines.push_back(std::move(*line));
    if (client.waitForExit(timeLeft(deadline)) != 0)
        return std::nullopt;
    return lines;
}

std::optional<std::string> VirtualDisplay::findWindow(const std::string& namePattern) const {
    const auto ids = run({"xdotool", "search", "--name", namePattern});
    return ids && !ids->empty() ? std::optional(ids->front()) : std::nullopt;
}

} // namespace pelvaro::test
