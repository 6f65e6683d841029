#pragma once

#include "keyboard/KeystrokeInjector.h"
#include "keyboard/StepPacer.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace pelvaro {

struct PlannedStroke;

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

    // The kernel keeps only so many events for a reader that has not yet
    // read them: the strokes go in bursts with pauses between them.
    static constexpr int kStrokesPerBurst = 8;
    static constexpr std::chrono::milliseconds kBurstPause{5};

    // The name the device shows to the system.
    static constexpr char kDeviceName[] = "Pelvaro Tastatur";

    // keymap: the user's keyboard map in XKB's text format. later runs the
    // pauses between bursts of strokes; without it the injector waits in place.
    static Opening open(const std::string& keymap, const std::string& devicePath = "/dev/uinput",
                        DeferredCall later = {});
    ~UinputInjector() override;

    TypingResult typeText(std::u32string_view text, bool enter) override;

private:
    class Device;

    UinputInjector(std::unique_ptr<Device> device, DeferredCall later);
    StepPacer::Pause sendBurst();

    std::unique_ptr<Device> device_;
    std::deque<PlannedStroke> strokes_; // not yet sent, in order
    uint64_t taken_ = 0;               // strokes sent or dropped so far
    std::optional<uint64_t> failedAt_; // the number of the stroke last refused
    StepPacer pacer_;
};

} // namespace pelvaro
