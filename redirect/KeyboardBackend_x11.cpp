#include "KeyboardBackend.h"
#include "XTestInjector.h"

namespace pelvaro {

namespace {

constexpr char kXTest[] = "xtest";

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

} // namespace

KeyboardBackendChoice chooseKeyboardBackend(const std::string& forced, DeferredCall later) {
    KeyboardBackendChoice choice;
    if (!forced.empty() && forced != kXTest) {
        choice.unavailable = "unbekannte Art der Tastatureingabe '" + forced + "'.";
        choice.report.push_back(forced + ": unbekannt");
        return choice;
    }
    XTestInjector::Opening opening = XTestInjector::open({}, std::move(later));
    if (opening.injector) {
        choice.injector = std::move(opening.injector);
        choice.name = kXTest;
        choice.report.push_back(std::string(kXTest) + ": X-Server " + opening.displayName +
                                " mit XTest");
    } else {
        choice.unavailable = xtestProblem(opening);
        choice.report.push_back(std::string(kXTest) + ": " + choice.unavailable);
    }
    return choice;
}

} // namespace pelvaro
