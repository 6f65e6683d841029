#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/Polling.h"
#include "tests/support/WaylandSession.h"
#include "tools/simulator/ReaderSimulator.h"

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pelvaro::test {

// The command-line reader on a desktop's own compositor, typing each card and
// Return into a terminal that has the focus.
class DesktopReadTool {
public:
    DesktopReadTool(const std::filesystem::path& tool, WaylandSession::Compositor desktop,
                    const std::vector<std::string>& options, const std::string& layout = {})
        : session(desktop, {}, layout),
          terminal(session), command_{tool.string(), "--type", "--enter", "--device",
                                      reader.devicePath()} {
        session.giveToUser(reader.devicePath());
        command_.insert(command_.begin() + 2, options.begin(), options.end());
        start();
    }

    // Ends the tool and starts it again, as the next login does.
    void restart() {
        endAndTell();
        start();
    }

    // Probes until the tool reads and what it types arrives: a card sent
    // while the tool still opens the line may be lost.
    bool typesOnceReady() {
        using namespace std::chrono_literals;
        const bool arrived = pollUntil(
            [&] {
                reader.sendCard(std::vector<uint8_t>{0xFF});
                return !terminal.receiveUntil("\r", 500ms).empty();
            },
            [](std::chrono::milliseconds) {}, kPatience);
        terminal.receiveUntil("never", 300ms);
        return arrived;
    }

    // What the tool said once ended; it says lacking characters as it types.
    std::string endAndTell() {
        reading->signal(SIGTERM);
        reading->waitForExit(kPatience);
        return reading->errorOutput();
    }

    WaylandSession session;
    WaylandSession::Terminal terminal;
    sim::ReaderSimulator reader;
    std::unique_ptr<ChildProcess> reading;

private:
    void start() {
        reading = std::make_unique<ChildProcess>(session.asUser(command_), session.environment());
    }

    std::vector<std::string> command_;
};

} // namespace pelvaro::test
