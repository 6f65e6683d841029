#pragma once

#include "KeystrokeInjector.h"

#include <memory>
#include <string>

namespace pelvaro {

// Key strokes through a virtual keyboard of the kernel (/dev/uinput), for
// compositors without a virtual keyboard interface (GNOME, KDE Plasma) and
// for the text console. Each character becomes the key and modifier keys
// that give it in the user's keyboard map; a character the map lacks is
// skipped. The keyboard's LEDs tell it whether Caps Lock or Num Lock is on.
class UinputInjector final : public KeystrokeInjector {
public:
    enum class Problem { None, NoDevice, NotPermitted, NotUinput, NoKeymap };
    struct Opening {
        std::unique_ptr<UinputInjector> injector; // null on a problem
        Problem problem = Problem::None;
        std::string devicePath;
    };

    // The name the device shows to the system.
    static constexpr char kDeviceName[] = "Pelvaro Tastatur";

    // keymap: the user's keyboard map in XKB's text format.
    static Opening open(const std::string& keymap, const std::string& devicePath = "/dev/uinput");
    ~UinputInjector() override;

    bool typeText(std::u32string_view text, bool enter) override;

private:
    class Device;

    explicit UinputInjector(std::unique_ptr<Device> device);

    std::unique_ptr<Device> device_;
};

} // namespace pelvaro
