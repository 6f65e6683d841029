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

void giveTo(const std::filesystem::path& path, const passwd& user) {
    if (chown(path.c_str(), user.pw_uid, user.pw_gid) != 0)
        throw std::runtime_error("cannot give " + path.string() + " to " + kUser);
}

} // namespace

bool WaylandSession::possible() {
    return geteuid() == 0;
}

WaylandSession::WaylandSession(Compositor compositor) {
    const passwd* user = sessionUser();
    if (!user)
        throw std::runtime_error(std::string("cannot create the user ") + kUser);
    uid_ = std::to_string(user->pw_uid);
    gid_ = std::to_string(user->pw_gid);
    // XDG_RUNTIME_DIR must be the user's and private.
    giveTo(runtimeDirectory_.path(), *user);
    giveTo(userDirectory_.path(), *user);
    const auto config = userDirectory_.path() / "sway.config";
    std::ofstream(config) << "output HEADLESS-1 resolution 1024x768\n";
    giveTo(config, *user);
    std::vector<std::string> variables = environment();
    variables.erase(std::remove_if(variables.begin(), variables.end(),
                                   [](const std::string& v) { return v.starts_with("WAYLAND_"); }),
                    variables.end());
    for (const char* setting :
         {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"})
        variables.emplace_back(setting);
    compositor_ = std::make_unique<ServerProcess>(
        "the compositor",
        asUser(compositor == Compositor::Sway
                   ? std::vector<std::string>{"sway", "--config", config.string()}
                   : std::vector<std::string>{"weston", "--backend=headless-backend.so",
                                              "--socket=wayland-1"}),
        variables, [&](ChildProcess&) { return waitFor([&] { return findSocket(); }); });
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
    return environmentWith({"DISPLAY=", "XDG_RUNTIME_DIR=" + runtimeDirectory_.path().string(),
                            "WAYLAND_DISPLAY=" + socketPath(), "QT_QPA_PLATFORM=wayland",
                            "HOME=" + userDirectory_.path().string()});
}

std::vector<std::string> WaylandSession::asUser(const std::vector<std::string>& command) const {
    std::vector<std::string> wrapped = {"setpriv", "--reuid", uid_,
                                        "--regid", gid_,      "--clear-groups"};
    wrapped.insert(wrapped.end(), command.begin(), command.end());
    return wrapped;
}

WaylandSession::Terminal::Terminal(const WaylandSession& session)
    : session_(session), file_(session.userDirectory() / ("received-" + std::to_string(getpid()))) {
    foot_ = std::make_unique<ChildProcess>(
        session.asUser({"foot", "sh", "-c", "stty raw -echo; exec cat > " + file_.string()}),
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
