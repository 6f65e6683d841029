#include "fileio/FileLocations.h"
#include "keyboard/KeyboardBackend.h"
#include "keyboard/portal/PortalInjector.h"
#include "keyboard/uinput/UinputInjector.h"
#include "keyboard/wayland/VirtualKeyboardInjector.h"
#include "keyboard/x11/XTestInjector.h"
#include "keyboard/xkb/UserKeymap.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <utility>

namespace pelvaro {

namespace {

constexpr char kXTest[] = "xtest";
constexpr char kVirtualKeyboard[] = "virtual-keyboard";
constexpr char kUinput[] = "uinput";
constexpr char kPortal[] = "portal";

// Where the portal's token for restoring the user's consent is kept.
constexpr char kPortalTokenFile[] = "portal-restore-token";

// A backend's problems, each with what the user is told of it.
template <typename Problem>
using ProblemTexts = std::initializer_list<std::pair<Problem, std::string>>;

template <typename Problem> std::string textOf(Problem problem, ProblemTexts<Problem> texts) {
    const auto found = std::find_if(texts.begin(), texts.end(),
                                    [&](const auto& entry) { return entry.first == problem; });
    return found == texts.end() ? std::string() : found->second;
}

// Tries one backend; the choice keeps the first that can type.
void consider(KeyboardBackendChoice& choice, const char* name,
              std::unique_ptr<KeystrokeInjector> injector, const std::string& takenText,
              const std::string& problem) {
    if (injector) {
        choice.injector = std::move(injector);
        choice.name = name;
        choice.report.push_back(std::string(name) + ": " + takenText);
        return;
    }
    choice.unavailable += (choice.unavailable.empty() ? "" : " ") + problem;
    choice.report.push_back(std::string(name) + ": " + problem);
}

void considerXTest(KeyboardBackendChoice& choice, DeferredCall later) {
    XTestInjector::Opening opening = XTestInjector::open({}, std::move(later));
    const std::string& display = opening.displayName;
    const std::string reason = "kein X-Server mit XTest erreichbar";
    using enum XTestInjector::Problem;
    consider(
        choice, kXTest, std::move(opening.injector), "X-Server " + display + " mit XTest",
        textOf(opening.problem, {{NoDisplayNamed, reason + " (DISPLAY ist nicht gesetzt)."},
                                 {NotReachable, reason + " (" + display + " antwortet nicht)."},
                                 {NoXTest, reason + " (" + display + " bietet kein XTest)."}}));
}

void considerVirtualKeyboard(KeyboardBackendChoice& choice) {
    VirtualKeyboardInjector::Opening opening = VirtualKeyboardInjector::open();
    const std::string& display = opening.displayName;
    using enum VirtualKeyboardInjector::Problem;
    consider(
        choice, kVirtualKeyboard, std::move(opening.injector),
        "virtuelle Tastatur des Wayland-Compositors " + display,
        textOf(opening.problem,
               {{NoWaylandDisplay, "keine Wayland-Sitzung (WAYLAND_DISPLAY ist nicht gesetzt)."},
                {NotReachable, "der Wayland-Compositor " + display + " antwortet nicht."},
                {NoVirtualKeyboard,
                 "der Wayland-Compositor " + display + " bietet keine virtuelle Tastatur."}}));
}

bool named(const char* variable) {
    const char* name = std::getenv(variable);
    return name && *name;
}

// The user's layout as far as it is known: the settings' names, else the map
// the Wayland compositor hands its clients.
std::optional<std::string> knownKeymap(const KeyboardSettings& settings) {
    if (!settings.layout.empty())
        return keymapFromNames(settings.layout, settings.variant);
    return named("WAYLAND_DISPLAY") ? waylandKeymap() : std::nullopt;
}

void considerPortal(KeyboardBackendChoice& choice, const KeyboardSettings& settings) {
    const auto folders = userFolders();
    PortalInjector::Opening opening = PortalInjector::open(
        knownKeymap(settings).value_or(std::string()),
        folders ? folders->settings / kPortalTokenFile : std::filesystem::path());
    using enum PortalInjector::Problem;
    const std::string through =
        opening.libeiVersion.empty() ? "" : ", über libei " + opening.libeiVersion;
    consider(choice, kPortal, std::move(opening.injector),
             "Fernsteuerung der Tastatur über das Desktop-Portal (Version " +
                 std::to_string(opening.version) + through + ")",
             textOf(opening.problem,
                    {{NoSessionBus, "kein D-Bus der Sitzung erreichbar."},
                     {NoPortal, "kein Desktop-Portal mit Fernsteuerung auf dem D-Bus der Sitzung."},
                     {NoKeyboard, "das Desktop-Portal (Version " + std::to_string(opening.version) +
                                      ") bietet keine Tastatur zur Fernsteuerung an."}}));
}

// The layout uinput types through: the one known, else XKB's default.
void considerUinput(KeyboardBackendChoice& choice, const KeyboardSettings& settings,
                    DeferredCall later) {
    std::optional<std::string> keymap = knownKeymap(settings);
    if (!keymap)
        keymap = keymapFromNames(settings.layout, settings.variant);
    UinputInjector::Opening opening =
        UinputInjector::open(keymap.value_or(std::string()), "/dev/uinput", std::move(later));
    const std::string& device = opening.devicePath;
    using enum UinputInjector::Problem;
    consider(choice, kUinput, std::move(opening.injector),
             "virtuelle Tastatur des Kernels über " + std::string("/dev/uinput"),
             textOf(opening.problem,
                    {{NoDevice, device + " fehlt (das Kernelmodul uinput ist nicht geladen: "
                                         "sudo modprobe uinput)."},
                     {NotPermitted, "kein Zugriff auf " + device +
                                        " (Abhilfe: sudo cp packaging/udev/60-pelvaro-uinput.rules "
                                        "/etc/udev/rules.d/ && sudo udevadm trigger, dann neu "
                                        "anmelden)."},
                     {NotUinput, device + " nimmt keine virtuelle Tastatur an."},
                     {NoKeymap, "keine Tastaturbelegung für " + device + " bekannt."}}));
}

} // namespace

KeyboardBackendChoice chooseKeyboardBackend(const KeyboardSettings& settings, DeferredCall later) {
    KeyboardBackendChoice choice;
    const std::string& forced = settings.backend;
    if (forced == kXTest) {
        considerXTest(choice, std::move(later));
    } else if (forced == kVirtualKeyboard) {
        considerVirtualKeyboard(choice);
    } else if (forced == kPortal) {
        considerPortal(choice, settings);
    } else if (forced == kUinput) {
        considerUinput(choice, settings, std::move(later));
    } else if (!forced.empty()) {
        choice.unavailable = "unbekannte Art der Tastatureingabe '" + forced + "'.";
        choice.report.push_back(forced + ": unbekannt");
    } else if (named("WAYLAND_DISPLAY")) {
        // XTest would reach only the windows that run through Xwayland.
        considerVirtualKeyboard(choice);
        if (!choice.injector)
            considerPortal(choice, settings);
        if (!choice.injector)
            considerUinput(choice, settings, std::move(later));
    } else if (named("DISPLAY")) {
        considerXTest(choice, std::move(later));
    } else {
        considerUinput(choice, settings, std::move(later));
    }
    if (choice.injector)
        choice.unavailable.clear();
    return choice;
}

} // namespace pelvaro
