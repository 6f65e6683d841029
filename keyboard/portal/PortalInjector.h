#pragma once

#include "keyboard/KeystrokeInjector.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

namespace pelvaro {

class EiTyping;
class PortalSession;

// Key strokes through the desktop portal's remote desktop keyboard, on
// desktops without a virtual keyboard interface (GNOME, KDE Plasma): no root
// and nothing installed, but the desktop may ask the user for consent. One
// session serves the program's life: it is started when typing is about to
// begin and started again at the next text when the desktop has closed it.
// Where the portal hands out a connection for libei (version 2 on) and libei
// is installed, the keys go through it, as key codes of the keymap the
// desktop lends. Else each character is sent as its keysym, which the
// desktop finds in the user's current layout; it drops a keysym the layout
// lacks.
class PortalInjector final : public KeystrokeInjector {
public:
    enum class Problem { None, NoSessionBus, NoPortal, NoKeyboard };
    struct Opening {
        std::unique_ptr<PortalInjector> injector; // null on a problem
        Problem problem = Problem::None;
        unsigned version = 0; // the portal's RemoteDesktop version
        std::string libeiVersion; // where libei will type; else empty
    };

    // How long a start waits for the portal: it may show a dialog to a person.
    static constexpr std::chrono::minutes kConsentPatience{5};
    // How long the desktop may take to lend its libei keyboard once consented.
    static constexpr std::chrono::seconds kEiPatience{5};

    // Looks the portal up, asking the user nothing. keymap: the user's layout
    // in XKB's text format, empty when not known; characters it lacks are
    // skipped. tokenFile: where the portal's token for restoring the consent
    // is kept; empty: nowhere.
    static Opening open(const std::string& keymap, std::filesystem::path tokenFile);
    ~PortalInjector() override;

    std::optional<std::string> begin() override;
    TypingResult typeText(std::u32string_view text, bool enter) override;

private:
    PortalInjector(std::optional<std::unordered_set<uint32_t>> layout,
                   std::filesystem::path tokenFile, bool throughEi);
    bool strike(uint32_t keysym);
    TypingResult typeKeysyms(std::u32string_view keys);

    std::unique_ptr<PortalSession> session_;
    std::unique_ptr<EiTyping> ei_; // null: keysyms over D-Bus
    std::optional<std::unordered_set<uint32_t>> layout_; // null: not known
    std::filesystem::path tokenFile_;
    bool throughEi_;
    bool starting_ = false;
};

} // namespace pelvaro
