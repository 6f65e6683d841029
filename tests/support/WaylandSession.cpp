#include "tests/support/WaylandSession.h"

#include "tests/support/Polling.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace pelvaro::test {

using namespace std::chrono_literals;

namespace {

constexpr char kUser[] = "pelvaro-wayland";
constexpr char kKwin[] = "/usr/bin/kwin_wayland";
constexpr char kKdePortal[] = "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde";

// The user the session runs as, created on first use.
passwd* sessionUser() {
    if (passwd* user = getpwnam(kUser))
        return user;
    ChildProcess adding(
        {"useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", kUser});
    adding.waitForExit(kPatience);
    // A test running beside this one may be adding the user at this moment.
    return waitFor([] { return getpwnam(kUser); });
}

} // namespace

bool WaylandSession::possible() {
    return geteuid() == 0;
}

bool WaylandSession::kwinInstalled() {
    return std::filesystem::exists(kKwin) && std::filesystem::exists(kKdePortal);
}

WaylandSession::WaylandSession(Compositor compositor, const std::string& unfocusedAppId)
    : kind_(compositor) {
    const passwd* user = sessionUser();
    if (!user)
        throw std::runtime_error(std::string("cannot create the user ") + kUser);
    uid_ = std::to_string(user->pw_uid);
    gid_ = std::to_string(user->pw_gid);
    // XDG_RUNTIME_DIR must be the user's and private.
    giveToUser(runtimeDirectory_.path());
    giveToUser(userDirectory_.path());
    const auto config = userDirectory_.path() / "sway.config";
    std::ofstream(config) << "output HEADLESS-1 resolution 1024x768\n"
                          << (unfocusedAppId.empty()
                                  ? ""
                                  : "no_focus [app_id=\"" + unfocusedAppId + "\"]\n");
    giveToUser(config);
    std::vector<std::string> variables = environment();
    variables.erase(std::remove_if(variables.begin(), variables.end(),
                                   [](const std::string& v) { return v.starts_with("WAYLAND_"); }),
                    variables.end());
    for (const char* setting :
         {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"})
        variables.emplace_back(setting);
    std::vector<std::string> command = {"weston", "--backend=headless-backend.so",
                                        "--socket=wayland-1"};
    if (compositor == Compositor::Sway) {
        command = {"sway", "--config", config.string()};
    } else if (compositor == Compositor::Kwin) {
        // kwin registers on the session bus as it starts.
        const std::string bus = (runtimeDirectory_.path() / "bus").string();
        bus_ = std::make_unique<ServerProcess>(
            "the session bus",
            asUser({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus}),
            variables,
            [&](ChildProcess&) { return waitFor([&] { return std::filesystem::exists(bus); }); });
        // A copy without the file capability that this container's bounding
        // set lacks: the installed binary may not be run here.
        const auto kwin = userDirectory_.path() / "kwin_wayland";
        std::filesystem::copy_file(kKwin, kwin);
        giveToUser(kwin);
        command = {kwin.string(), "--virtual", "--no-lockscreen", "--socket", "wayland-1",
                   "--width",     "1024",      "--height",        "768"};
    }
    compositor_ = std::make_unique<ServerProcess>(
        "the compositor", asUser(command), variables,
        [&](ChildProcess&) { return waitFor([&] { return findSocket(); }); });
    if (compositor == Compositor::Kwin)
        startKdeDesktop();
}

// A desktop's own service, ready once its name is on the session bus.
std::unique_ptr<ServerProcess> WaylandSession::startAsUser(const std::string& name,
                                                           const std::vector<std::string>& command,
                                                           const std::string& busName) {
    return std::make_unique<ServerProcess>(
        name, asUser(command), environment(), [&](ChildProcess&) {
            ChildProcess waiting(asUser({"gdbus", "wait", "--session", "--timeout", "15", busName}),
                                 environment());
            return waiting.waitForExit(kPatience) == 0;
        });
}

// KDE's portal backend first: the portal looks for it as it starts.
void WaylandSession::startKdeDesktop() {
    portalBackend_ = startAsUser("KDE's desktop portal", {kKdePortal},
                                 "org.freedesktop.impl.portal.desktop.kde");
    portal_ = startAsUser("the desktop portal", {"/usr/libexec/xdg-desktop-portal"},
                          "org.freedesktop.portal.Desktop");
}

void WaylandSession::giveToUser(const std::filesystem::path& path) const {
    if (chown(path.c_str(), static_cast<uid_t>(std::stoul(uid_)),
              static_cast<gid_t>(std::stoul(gid_))) != 0)
        throw std::runtime_error("cannot give " + path.string() + " to " + kUser);
}

bool WaylandSession::findSocket() {
    for (const auto& entry : std::filesystem::directory_iterator(runtimeDirectory_.path())) {
        if (entry.is_socket() && entry.path().filename().string().starts_with("wayland-")) {
            socket_ = entry.path().string();
            return true;
        }
    }
    return false;
}

std::string WaylandSession::ipcSocket() const {
    for (const auto& entry : std::filesystem::directory_iterator(runtimeDirectory_.path()))
        if (entry.path().filename().string().starts_with("sway-ipc."))
            return entry.path().string();
    return {};
}

bool WaylandSession::swaymsg(const std::vector<std::string>& command) const {
    const std::string ipc = ipcSocket();
    if (ipc.empty())
        return false;
    std::vector<std::string> full = {"swaymsg", "-s", ipc};
    full.insert(full.end(), command.begin(), command.end());
    ChildProcess message(full);
    return message.waitForExit(kPatience) == 0;
}

bool WaylandSession::hasWindow(const std::string& appId) const {
    const std::string ipc = ipcSocket();
    if (ipc.empty())
        return false;
    ChildProcess tree({"swaymsg", "-s", ipc, "-t", "get_tree"});
    while (const auto line = tree.readLine(kPatience))
        if (line->find("\"app_id\": \"" + appId + "\"") != std::string::npos)
            return true;
    return false;
}

bool WaylandSession::footHasFocus() const {
    const std::string ipc = ipcSocket();
    if (ipc.empty())
        return false;
    ChildProcess tree({"swaymsg", "-s", ipc, "-t", "get_tree"});
    // Each node of the tree prints whether it has the focus before its app_id.
    bool focused = false;
    while (const auto line = tree.readLine(kPatience)) {
        if (line->find("\"focused\":") != std::string::npos)
            focused = line->find("true") != std::string::npos;
        if (line->find("\"app_id\": \"foot\"") != std::string::npos)
            return focused;
    }
    return false;
}

std::string WaylandSession::socketPath() const {
    return socket_;
}

std::vector<std::string> WaylandSession::environment() const {
    // An empty DISPLAY is none: no X server.
    std::vector<std::string> settings = {
        "DISPLAY=", "XDG_RUNTIME_DIR=" + runtimeDirectory_.path().string(),
        "WAYLAND_DISPLAY=" + socketPath(), "QT_QPA_PLATFORM=wayland",
        "HOME=" + userDirectory_.path().string()};
    if (kind_ == Compositor::Kwin) {
        settings.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" +
                           (runtimeDirectory_.path() / "bus").string());
        settings.emplace_back("XDG_CURRENT_DESKTOP=KDE");
    }
    return environmentWith(settings);
}

std::vector<std::string> WaylandSession::asUser(const std::vector<std::string>& command) const {
    std::vector<std::string> wrapped = {"setpriv", "--reuid", uid_,
                                        "--regid", gid_,      "--clear-groups"};
    wrapped.insert(wrapped.end(), command.begin(), command.end());
    return wrapped;
}

WaylandSession::Terminal::Terminal(const WaylandSession& session)
    : session_(session), file_(session.userDirectory() / ("received-" + std::to_string(getpid()))) {
    const std::string receive = "stty raw -echo; exec cat > " + file_.string();
    if (session.kind_ == Compositor::Kwin) {
        // weston-terminal runs the user's shell, here one that only receives.
        // (It adds a NUL after each character beyond ASCII.)
        const auto shell = session.userDirectory() / "receive.sh";
        std::ofstream(shell) << "#!/bin/sh\n" << receive << "\n";
        std::filesystem::permissions(
            shell, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                       std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                       std::filesystem::perms::others_exec);
        terminal_ = std::make_unique<ChildProcess>(
            session.asUser({"env", "SHELL=" + shell.string(), "weston-terminal"}),
            session.environment());
        // kwin gives a new window the focus.
        waitFor([&] { return std::filesystem::exists(file_); });
        return;
    }
    terminal_ = std::make_unique<ChildProcess>(session.asUser({"foot", "sh", "-c", receive}),
                                               session.environment());
    // Ready once cat has made its file and sway has given the window the focus.
    waitFor([&] { return std::filesystem::exists(file_) && session.footHasFocus(); });
}

std::string WaylandSession::Terminal::receiveUntil(const std::string& ending,
                                                   std::chrono::milliseconds timeout) {
    std::string received;
    // Finely: benchmarks time the arrival with it.
    pollEvery(
        [&] {
            std::ifstream in(file_, std::ios::binary);
            const std::string all{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
            received = all.substr(std::min(read_, all.size()));
            return received.ends_with(ending);
        },
        1ms, timeout);
    read_ += received.size();
    return received;
}

} // namespace pelvaro::test
