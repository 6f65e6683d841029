#include "KeyboardBackend.h"
#include "VirtualKeyboardInjector.h"
#include "XTestInjector.h"

#include <cstdlib>

namespace pelvaro {

namespace {

constexpr char kXTest[] = "xtest";
constexpr char kVirtualKeyboard[] = "virtual-keyboard";

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
    choice.unavailable = problemOf(opening);
    choice.report.push_back(std::string(name) + ": " + choice.unavailable);
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

bool waylandSession() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return name && *name;
}

} // namespace

KeyboardBackendChoice chooseKeyboardBackend(const std::string& forced, DeferredCall later) {
    KeyboardBackendChoice choice;
    if (forced == kXTest) {
        considerXTest(choice, std::move(later));
    } else if (forced == kVirtualKeyboard) {
        considerVirtualKeyboard(choice);
    } else if (!forced.empty()) {
        choice.unavailable = "unbekannte Art der Tastatureingabe '" + forced + "'.";
        choice.report.push_back(forced + ": unbekannt");
    } else if (waylandSession()) {
        // XTest would reach only the windows that run through Xwayland.
        considerVirtualKeyboard(choice);
    } else {
        considerXTest(choice, std::move(later));
    }
    return choice;
}

} // namespace pelvaro
