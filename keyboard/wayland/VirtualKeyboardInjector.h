#pragma once

#include "keyboard/KeystrokeInjector.h"

#include <memory>
#include <string>

namespace pelvaro {

// Key strokes on a Wayland compositor that offers virtual keyboards
// (zwp_virtual_keyboard_manager_v1: sway and the other wlroots compositors).
// The program's own virtual keyboard types through a keyboard map that holds
// the characters of the texts so far, sent anew only when a text brings new
// ones; the user's keyboard is not touched.
class VirtualKeyboardInjector final : public KeystrokeInjector {
public:
    enum class Problem { None, NoWaylandDisplay, NotReachable, NoVirtualKeyboard };
    struct Opening {
        std::unique_ptr<VirtualKeyboardInjector> injector; // null on a problem
        Problem problem = Problem::None;
        std::string displayName;
    };

    // Connects to WAYLAND_DISPLAY's compositor.
    static Opening open();
    ~VirtualKeyboardInjector() override;

    TypingResult typeText(std::u32string_view text, bool enter) override;

private:
    class Connection;

    explicit VirtualKeyboardInjector(std::unique_ptr<Connection> connection);

    std::unique_ptr<Connection> connection_;
};

} // namespace pelvaro
