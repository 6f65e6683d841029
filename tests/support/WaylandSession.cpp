#include "tests/support/WaylandSession.h"

#include "tests/support/Polling.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <pwd.h>
#include <stdexcept>
#include <string_view>
#include <unistd.h>

namespace pelvaro::test {

using namespace std::chrono_literals;

namespace {

constexpr char kUser[] = "pelvaro-wayland";

// A desktop's compositor and the portal backend that types for it.
struct Desktop {
    const char* compositor;
    const char* portal;
    const char* portalName;
    const char* portalBusName;
    const char* currentDesktop;
};
constexpr Desktop kKde = {"/usr/bin/kwin_wayland",
                          "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde",
                          "KDE's desktop portal", "org.freedesktop.impl.portal.desktop.kde", "KDE"};
constexpr Desktop kGnome = {"/usr/bin/mutter", "/usr/libexec/xdg-desktop-portal-gnome",
                            "GNOME's desktop portal", "org.freedesktop.impl.portal.desktop.gnome",
                            "GNOME"};

const Desktop* desktopOf(WaylandSession::Compositor compositor) {
    switch (compositor) {
    case WaylandSession::Compositor::Kwin:
        return &kKde;
    case WaylandSession::Compositor::Mutter:
        return &kGnome;
    default:
        return nullptr;
    }
}

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

bool WaylandSession::desktopInstalled(Compositor desktop) {
    const Desktop* installed = desktopOf(desktop);
    return installed && std::filesystem::exists(installed->compositor) &&
           std::filesystem::exists(installed->portal);
}

WaylandSession::WaylandSession(Compositor compositor, const std::string& unfocusedAppId,
                               const std::string& keyboardLayout)
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
    // Not a client's: KWin 6 brings a Qt platform of its own.
    variables.erase(std::remove_if(variables.begin(), variables.end(),
                                   [](const std::string& v) {
                                       return v.starts_with("WAYLAND_") ||
                                              v.starts_with("QT_QPA_PLATFORM=");
                                   }),
                    variables.end());
    for (const char* setting :
         {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"})
        variables.emplace_back(setting);
    std::vector<std::string> command = {"weston", "--backend=headless-backend.so",
                                        "--socket=wayland-1"};
    if (compositor == Compositor::Sway) {
        command = {"sway", "--config", config.string()};
    } else if (compositor == Compositor::Kwin) {
        // A copy without the file capability that this container's bounding
        // set lacks: the installed binary may not be run here.
        const auto kwin = userDirectory_.path() / "kwin_wayland";
        std::filesystem::copy_file(kKde.compositor, kwin);
        giveToUser(kwin);
        // KWin 6 lends screen casting, which KDE's portal needs for remote
        // control, only to programs it finds among the desktop's applications,
        // which this bare session does not manage.
        variables.emplace_back("KWIN_WAYLAND_NO_PERMISSION_CHECKS=1");
        if (!keyboardLayout.empty()) {
            const auto settings = userDirectory_.path() / ".config";
            std::filesystem::create_directory(settings);
            std::ofstream(settings / "kxkbrc")
                << "[Layout]\nLayoutList=" << keyboardLayout << "\nUse=true\n";
            giveToUser(settings);
            giveToUser(settings / "kxkbrc");
        }
        command = {kwin.string(), "--virtual", "--no-lockscreen", "--socket", "wayland-1",
                   "--width",     "1024",      "--height",        "768"};
    } else if (compositor == Compositor::Mutter) {
        command = {kGnome.compositor,   "--headless", "--wayland",         "--no-x11",
                   "--virtual-monitor", "1024x768",   "--wayland-display", "wayland-1"};
    }
    // A desktop's compositor registers on the session bus as it starts.
    if (desktopOf(compositor))
        startSessionBus(variables);
    compositor_ = std::make_unique<ServerProcess>(
        "the compositor", asUser(command), variables,
        [&](ChildProcess&) { return waitFor([&] { return findSocket(); }); });
    if (desktopOf(compositor))
        startDesktopPortal();
}

// The test, as root, may use the bus too. The portal and its backend are
// started by the session once the compositor is ready, never by the bus when
// the compositor asks for them as it starts: KWin 6 does, and so gets a portal
// that found no backend.
void WaylandSession::startSessionBus(const std::vector<std::string>& environment) {
    const auto services = userDirectory_.path() / "services";
    std::filesystem::create_directory(services);
    for (const std::string_view name : {std::string_view("org.freedesktop.portal.Desktop"),
                                        std::string_view(desktopOf(kind_)->portalBusName)})
        std::ofstream(services / (std::string(name) + ".service"))
            << "[D-BUS Service]\nName=" << name << "\nExec=/bin/false\n";
    const auto configuration = userDirectory_.path() / "bus.conf";
    std::ofstream(configuration)
        << "<busconfig>\n  <servicedir>" << services.string()
        << "</servicedir>\n  <include>/usr/share/dbus-1/session.conf</include>\n"
           "  <policy context=\"default\"><allow user=\"root\"/></policy>\n</busconfig>\n";
    const std::string bus = (runtimeDirectory_.path() / "bus").string();
    bus_ = std::make_unique<ServerProcess>(
        "the session bus",
        asUser({"dbus-daemon", "--config-file=" + configuration.string(), "--nofork",
                "--address=unix:path=" + bus}),
        environment,
        [&](ChildProcess&) { return waitFor([&] { return std::filesystem::exists(bus); }); });
}

bool WaylandSession::waitForBusName(const std::string& busName) const {
    ChildProcess waiting(asUser({"gdbus", "wait", "--session", "--timeout", "15", busName}),
                         environment());
    return waiting.waitForExit(kPatience) == 0;
}

// A desktop's own service, ready once its name is on the session bus.
std::unique_ptr<ServerProcess> WaylandSession::startAsUser(const std::string& name,
                                                           const std::vector<std::string>& command,
                                                           const std::string& busName) {
    return std::make_unique<ServerProcess>(name, asUser(command), environment(),
                                           [&](ChildProcess&) { return waitForBusName(busName); });
}

// The desktop's portal backend first: the portal looks for it as it starts.
void WaylandSession::startDesktopPortal() {
    const Desktop* desktop = desktopOf(kind_);
    // GNOME's backend asks mutter for its devices once, as it starts.
    if (kind_ == Compositor::Mutter)
        waitForBusName("org.gnome.Mutter.RemoteDesktop");
    // KWin's plugins, screen casting among them, come after its socket; KDE's
    // backend looks for that once, as it starts.
    if (kind_ == Compositor::Kwin)
        waitForBusName("org.kde.KWin");
    portalBackend_ = startAsUser(desktop->portalName, {desktop->portal}, desktop->portalBusName);
    portal_ = startAsUser("the desktop portal", {"/usr/libexec/xdg-desktop-portal"},
                          "org.freedesktop.portal.Desktop");
    // Plasma 6.3 lets the user allow remote control up front, for programs
    // outside a sandbox under the empty application id; older ones ignore it.
    if (kind_ == Compositor::Kwin &&
        busCall("org.freedesktop.impl.portal.PermissionStore",
                "/org/freedesktop/impl/portal/PermissionStore",
                "org.freedesktop.impl.portal.PermissionStore.SetPermission",
                {"kde-authorized", "true", "remote-desktop", "", "['yes']"})
                ->waitForExit(kPatience) != 0)
        throw std::runtime_error("the permission store did not take KDE's remote control");
    // GNOME 48's backend learns the compositor's devices only after it is on
    // the bus, and offers no keyboard until then.
    waitFor([&] {
        const auto answer =
            busCall("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                    "org.freedesktop.DBus.Properties.Get",
                    {"org.freedesktop.portal.RemoteDesktop", "AvailableDeviceTypes"})
                ->readLine(kPatience);
        return answer && *answer != "(<uint32 0>,)";
    });
}

std::unique_ptr<ChildProcess>
WaylandSession::busCall(const std::string& destination, const std::string& path,
                        const std::string& method,
                        const std::vector<std::string>& arguments) const {
    std::vector<std::string> command = {"gdbus",         "call", "--session", "--dest", destination,
                                        "--object-path", path,   "--method",  method};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return std::make_unique<ChildProcess>(asUser(command), environment());
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
    if (kind_ == Compositor::Kwin) {
        // KWin's window search, which its launcher asks, finds a window by its
        // application too; an empty list of matches is "([],)".
        const auto matches =
            busCall("org.kde.KWin", "/WindowsRunner", "org.kde.krunner1.Match", {appId})
                ->readLine(kPatience);
        return matches && matches->starts_with("([(");
    }
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
    if (const Desktop* desktop = desktopOf(kind_)) {
        settings.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress());
        settings.push_back(std::string("XDG_CURRENT_DESKTOP=") + desktop->currentDesktop);
        settings.emplace_back("XDG_SESSION_TYPE=wayland");
        // GTK's GL renderers need a GPU that these headless compositors lack.
        settings.emplace_back("GSK_RENDERER=cairo");
    }

    return environmentWith(settings);
}

std::string WaylandSession::busAddress() const {
    return "unix:path=" + (runtimeDirectory_.path() / "bus").string();
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
    // Ready once cat has made its file and the window has the focus: mutter
    // gives a new window the focus, sway is asked.
    waitFor([&] {
        return std::filesystem::exists(file_) &&
               (session.kind_ == Compositor::Mutter || session.footHasFocus());
    });
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
