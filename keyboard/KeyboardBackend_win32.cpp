#include "keyboard/KeyboardBackend.h"

#include "keyboard/windows/SendInputInjector.h"

namespace pelvaro {

KeyboardBackendChoice chooseKeyboardBackend(const KeyboardSettings& settings, DeferredCall) {
    KeyboardBackendChoice choice;
    const std::string& forced = settings.backend;
    if (!forced.empty() && forced != "sendinput") {
        choice.unavailable = "unbekannte Art der Tastatureingabe '" + forced + "'.";
        choice.report.push_back(forced + ": unbekannt");
        return choice;
    }
    choice.injector = std::make_unique<SendInputInjector>();
    choice.name = "sendinput";
    choice.report.push_back("sendinput: SendInput, Unicode-Zeichen unabhängig vom Tastaturlayout");
    return choice;
}

} // namespace pelvaro
