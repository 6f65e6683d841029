#include "redirect/KeyboardBackend.h"
#include "redirect/UinputInjector.h"
#include "redirect/UserKeymap.h"
#include "redirect/VirtualKeyboardInjector.h"
#include "redirect/XTestInjector.h"

#include <cstdlib>

namespace pelvaro {

namespace {

constexpr char kXTest[] = "xtest";
constexpr char kVirtualKeyboard[] = "virtual-keyboard";
constexpr char kUinput[] = "uinput";

std::string xtestProblem(const XTestInjector::Opening& opening) {
    const std::string reason = "kein X-Server mit XTest erreichbar";
    switch (opening.problem) {
    case XTestInjector::Problem::NoDisplayNamed:
        return reason + " (DISPLAY ist nicht gesetzt).";
    case XTestInjector::Problem::NotReachable:
        return reason + " (" + opening.displayName + " antwortet nicht).";
    case XTestInjector::Problem::NoXTest:
        return reason + " (" + opening.displayName + " bietet kein XTest).";
    case XTestInjector::Problem::None:
        break;
    }
    return {};
}

std::string virtualKeyboardProblem(const VirtualKeyboardInjector::Opening& opening) {
    switch (opening.problem) {
    case VirtualKeyboardInjector::Problem::NoWaylandDisplay:
        return "keine Wayland-Sitzung (WAYLAND_DISPLAY ist nicht gesetzt).";
    case VirtualKeyboardInjector::Problem::NotReachable:
        return "der Wayland-Compositor " + opening.displayName + " antwortet nicht.";
    case VirtualKeyboardInjector::Problem::NoVirtualKeyboard:
        return "der Wayland-Compositor " + opening.displayName +
               " bietet keine virtuelle Tastatur.";
    case VirtualKeyboardInjector::Problem::None:
        break;
    }
    return {};
}

std::string uinputProblem(const UinputInjector::Opening& opening) {
    switch (opening.problem) {
    case UinputInjector::Problem::NoDevice:
        return opening.devicePath + " fehlt (das Kernelmodul uinput ist nicht geladen: "
                                    "sudo modprobe uinput).";
    case UinputInjector::Problem::NotPermitted:
        return "kein Zugriff auf " + opening.devicePath +
               " (Abhilfe: sudo cp packaging/udev/60-pelvaro-uinput.rules /etc/udev/rules.d/ && "
               "sudo "
               "udevadm trigger, dann neu anmelden).";
    case UinputInjector::Problem::NotUinput:
        return opening.devicePath + " nimmt keine virtuelle Tastatur an.";
    case UinputInjector::Problem::NoKeymap:
        return "keine Tastaturbelegung für " + opening.devicePath + " bekannt.";
    case UinputInjector::Problem::None:
        break;
    }
    return {};
}

// Tries one backend; the choice keeps the first that can type.
template <typename Opening, typename Describe>
void consider(KeyboardBackendChoice& choice, const char* name, Opening opening, Describe problemOf,
              const std::string& takenText) {
    if (opening.injector) {
        choice.injector = std::move(opening.injector);
        choice.name = name;
        choice.report.push_back(std::string(name) + ": " + takenText);
        return;
    }
    const std::string problem = problemOf(opening);
    choice.unavailable += (choice.unavailable.empty() ? "" : " ") + problem;
    choice.report.push_back(std::string(name) + ": " + problem);
}

void considerXTest(KeyboardBackendChoice& choice, DeferredCall later) {
    XTestInjector::Opening opening = XTestInjector::open({}, std::move(later));
    const std::string taken = "X-Server " + opening.displayName + " mit XTest";
    consider(choice, kXTest, std::move(opening), xtestProblem, taken);
}

void considerVirtualKeyboard(KeyboardBackendChoice& choice) {
    VirtualKeyboardInjector::Opening opening = VirtualKeyboardInjector::open();
    const std::string taken = "virtuelle Tastatur des Wayland-Compositors " + opening.displayName;
    consider(choice, kVirtualKeyboard, std::move(opening), virtualKeyboardProblem, taken);
}

bool named(const char* variable) {
    const char* name = std::getenv(variable);
    return name && *name;
}

// The layout uinput types through: the settings' names, else the map the
// Wayland compositor hands its clients, else XKB's default.
void considerUinput(KeyboardBackendChoice& choice, const KeyboardSettings& settings,
                    DeferredCall later) {
    std::optional<std::string> keymap;
    if (settings.layout.empty() && named("WAYLAND_DISPLAY"))
        keymap = waylandKeymap();
    if (!keymap)
        keymap = keymapFromNames(settings.layout, settings.variant);
    UinputInjector::Opening opening =
        UinputInjector::open(keymap.value_or(std::string()), "/dev/uinput", std::move(later));
    consider(choice, kUinput, std::move(opening), uinputProblem,
             "virtuelle Tastatur des Kernels über " + std::string("/dev/uinput"));
}

} // namespace

KeyboardBackendChoice chooseKeyboardBackend(const KeyboardSettings& settings, DeferredCall later) {
    KeyboardBackendChoice choice;
    const std::string& forced = settings.backend;
    if (forced == kXTest) {
        considerXTest(choice, std::move(later));
    } else if (forced == kVirtualKeyboard) {
        considerVirtualKeyboard(choice);
    } else if (forced == kUinput) {
        considerUinput(choice, settings, std::move(later));
    } else if (!forced.empty()) {
        choice.unavailable = "unbekannte Art der Tastatureingabe '" + forced + "'.";
        choice.report.push_back(forced + ": unbekannt");
    } else if (named("WAYLAND_DISPLAY")) {
        // XTest would reach only the windows that run through Xwayland.
        considerVirtualKeyboard(choice);
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
