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
// the virtual keyboard interface) or weston (without it); or a desktop's own
// compositor, KDE's kwin or GNOME's mutter, with a session bus of its own and
// the desktop's portal, as that desktop types for its clients. Sway refuses to run as root, so the
// compositors and their clients run as an unprivileged user that the session creates when it is
// missing; the test itself, as root, reaches the compositor's socket too.
class WaylandSession {
public:
    enum class Compositor { Sway, Weston, Kwin, Mutter };

    // Whether this process may run one (it must be root to become the user).
    static bool possible();

    // Whether this desktop's compositor (kwin or mutter) and its desktop
    // portal are installed.
    static bool desktopInstalled(Compositor desktop);

    // Throws std::runtime_error if the compositor does not come up. On sway,
    // windows of the unfocused app_id open without taking the focus; kwin
    // takes the keyboard layout ("de") from the user's settings.
    explicit WaylandSession(Compositor compositor = Compositor::Sway,
                            const std::string& unfocusedAppId = {},
                            const std::string& keyboardLayout = {});
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // The compositor's socket, for WAYLAND_DISPLAY.
    std::string socketPath() const;
    // The address of the desktop's session bus, which the test may use too.
    std::string busAddress() const;
    // The environment of a client of this session: no X server, Qt on Wayland.
    std::vector<std::string> environment() const;
    // The command run as the session's user.
    std::vector<std::string> asUser(const std::vector<std::string>& command) const;
    // Gives a file (a reader's device) to the session's user.
    void giveToUser(const std::filesystem::path& path) const;
    // A directory the user may write to.
    const std::filesystem::path& userDirectory() const { return userDirectory_.path(); }

    // A terminal that takes the focus and writes every character it receives
    // (Return as "\r") into a file: weston-terminal on kwin, foot elsewhere.
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
        std::unique_ptr<ChildProcess> terminal_;
        size_t read_ = 0;
    };

    // A window of this app_id is on the screen (on sway or kwin).
    bool hasWindow(const std::string& appId) const;

private:
    bool findSocket();
    bool footHasFocus() const;
    std::string ipcSocket() const;
    bool swaymsg(const std::vector<std::string>& command) const;
    std::unique_ptr<ServerProcess> startAsUser(const std::string& name,
                                               const std::vector<std::string>& command,
                                               const std::string& busName);
    void startSessionBus(const std::vector<std::string>& environment);
    bool waitForBusName(const std::string& busName) const;
    // A method called on the session bus as the session's user.
    std::unique_ptr<ChildProcess> busCall(const std::string& destination, const std::string& path,
                                          const std::string& method,
                                          const std::vector<std::string>& arguments) const;
    void startDesktopPortal();
    friend class Terminal;

    Compositor kind_;
    TempDir runtimeDirectory_;
    TempDir userDirectory_;
    std::unique_ptr<ServerProcess> bus_;
    std::unique_ptr<ServerProcess> compositor_;
    std::unique_ptr<ServerProcess> portalBackend_;
    std::unique_ptr<ServerProcess> portal_;
    std::string socket_;
    std::string uid_;
    std::string gid_;
};

} // namespace pelvaro::test
