#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pelvaro::test {

// A headless Wayland compositor of the test's own: sway (a wlroots one, with
// the virtual keyboard interface) or weston (without it). Sway refuses to run
// as root, so the compositors and their clients run as an unprivileged user
// that the session creates when it is missing; the test itself, as root,
// reaches the compositor's socket too.
class WaylandSession {
public:
    enum class Compositor { Sway, Weston };

    // Whether this process may run one (it must be root to become the user).
    static bool possible();

    // Throws std::runtime_error if the compositor does not come up.
    explicit WaylandSession(Compositor compositor = Compositor::Sway);
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // The compositor's socket, for WAYLAND_DISPLAY.
    std::string socketPath() const;
    // The environment of a client of this session: no X server, Qt on Wayland.
    std::vector<std::string> environment() const;
    // The command run as the session's user.
    std::vector<std::string> asUser(const std::vector<std::string>& command) const;
    // A directory the user may write to.
    const std::filesystem::path& userDirectory() const { return userDirectory_.path(); }

    // A foot terminal (on sway) that takes the focus and writes every character it
    // receives (Return as "\r") into a file.
    class Terminal {
    public:
        explicit Terminal(const WaylandSession& session);
        // Waits until what arrived since the last call ends with ending (or
        // the time is up) and returns it.
        std::string receiveUntil(const std::string& ending, std::chrono::milliseconds timeout);
        // Whether sway gives it the keyboard focus.
        bool hasFocus() const { return session_.footHasFocus(); }
        // Gives it the focus, as a click into it does.
        bool focus() const { return session_.swaymsg({"[app_id=\"foot\"]", "focus"}); }

    private:
        const WaylandSession& session_;
        std::filesystem::path file_;
        std::unique_ptr<ChildProcess> foot_;
        size_t read_ = 0;
    };

    // A window of this app_id is on the screen.
    bool hasWindow(const std::string& appId) const;

private:
    bool findSocket();
    bool footHasFocus() const;
    std::string ipcSocket() const;
    bool swaymsg(const std::vector<std::string>& command) const;
    friend class Terminal;

    TempDir runtimeDirectory_;
    TempDir userDirectory_;
    std::unique_ptr<ServerProcess> compositor_;
    std::string socket_;
    std::string uid_;
    std::string gid_;
};

} // namespace pelvaro::test
