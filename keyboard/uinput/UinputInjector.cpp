#include "keyboard/uinput/UinputInjector.h"

#include "keyboard/xkb/StrokePlanner.h"
#include "keyboard/xkb/XkbKeycodeOffset.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <linux/uinput.h>
#include <optional>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

namespace {

// The keys the device has: the main block, keypad and the usual extra keys.
constexpr int kLastKey = 255;

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
using Context = std::unique_ptr<xkb_context, ContextDeleter>;
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;

} // namespace

class UinputInjector::Device {
public:
    Device(int fd, Keymap keymap)
        : fd_(fd), keymap_(std::move(keymap)), planner_(keymap_.get()),
          capsLock_(planner_.modifierMask(XKB_MOD_NAME_CAPS)),
          numLock_(planner_.modifierMask(XKB_MOD_NAME_NUM)) {}
    ~Device() {
        ioctl(fd_, UI_DEV_DESTROY);
        close(fd_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The strokes of the text, then ENTER when asked; false if a character
    // is in no key of the map.
    bool plan(std::u32string_view text, bool enter, std::deque<PlannedStroke>& strokes) {
        readLeds();
        bool allTyped = true;
        for (const char32_t character : text) {
            const auto stroke = strokeFor(character);
            if (stroke)
                strokes.push_back(*stroke);
            allTyped = allTyped && stroke.has_value();
        }
        if (enter) {
            const auto stroke = strokeFor(kEnterKey);
            if (stroke)
                strokes.push_back(*stroke);
            allTyped = allTyped && stroke.has_value();
        }
        return allTyped;
    }

    // False if a key event could not be written.
    bool strike(const PlannedStroke& stroke) {
        written_ = true;
        if (stroke.toggleCapsLock)
            tap(*planner_.capsLockKey());
        for (const xkb_keycode_t modifier : stroke.modifierKeys)
            key(modifier, true);
        tap(stroke.key);
        for (auto modifier = stroke.modifierKeys.rbegin(); modifier != stroke.modifierKeys.rend();
             ++modifier)
            key(*modifier, false);
        if (stroke.toggleCapsLock)
            tap(*planner_.capsLockKey());
        return written_;
    }

private:
    // The compositor sets the keyboards' LEDs, ours among them, to its locks.
    void readLeds() {
        input_event event{};
        while (read(fd_, &event, sizeof event) == sizeof event) {
            if (event.type != EV_LED)
                continue;
            if (event.code == LED_CAPSL)
                capsLockOn_ = event.value != 0;
            else if (event.code == LED_NUML)
                numLockOn_ = event.value != 0;
        }
    }

    // Nothing is held on another keyboard that the device would know of.
    std::optional<PlannedStroke> strokeFor(char32_t character) const {
        ModifierState state;
        state.locked = (capsLockOn_ ? capsLock_ : 0) | (numLockOn_ ? numLock_ : 0);
        return planner_.plan(character, state);
    }

    void send(uint16_t type, uint16_t code, int32_t value) {
        input_event event{};
        event.type = type;
        event.code = code;
        event.value = value;
        written_ = write(fd_, &event, sizeof event) == sizeof event && written_;
    }

    void key(xkb_keycode_t key, bool down) {
        send(EV_KEY, static_cast<uint16_t>(key - kXkbOffset), down ? 1 : 0);
        send(EV_SYN, SYN_REPORT, 0);
    }

    void tap(xkb_keycode_t code) {
        key(code, true);
        key(code, false);
    }

    int fd_;
    Keymap keymap_;
    StrokePlanner planner_;
    xkb_mod_mask_t capsLock_;
    xkb_mod_mask_t numLock_;
    bool capsLockOn_ = false;
    bool numLockOn_ = false;
    bool written_ = true; // every event of the stroke so far
};

UinputInjector::UinputInjector(std::unique_ptr<Device> device, DeferredCall later)
    : device_(std::move(device)), pacer_(std::move(later), [this] { return sendBurst(); }) {}

UinputInjector::~UinputInjector() = default;

UinputInjector::Opening UinputInjector::open(const std::string& keymapText,
                                             const std::string& devicePath, DeferredCall later) {
    Opening opening;
    opening.devicePath = devicePath;
    const Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    Keymap keymap(context ? xkb_keymap_new_from_string(context.get(), keymapText.c_str(),
                                                       XKB_KEYMAP_FORMAT_TEXT_V1,
                                                       XKB_KEYMAP_COMPILE_NO_FLAGS)
                          : nullptr);
    if (!keymap) {
        opening.problem = Problem::NoKeymap;
        return opening;
    }
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        opening.problem =
            errno == EACCES || errno == EPERM ? Problem::NotPermitted : Problem::NoDevice;
        return opening;
    }
    bool set = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_LED) == 0 &&
               ioctl(fd, UI_SET_LEDBIT, LED_CAPSL) == 0 && ioctl(fd, UI_SET_LEDBIT, LED_NUML) == 0;
    for (int key = 1; key <= kLastKey && set; ++key)
        set = ioctl(fd, UI_SET_KEYBIT, key) == 0;
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::strncpy(setup.name, kDeviceName, UINPUT_MAX_NAME_SIZE - 1);
    if (!set || ioctl(fd, UI_DEV_SETUP, &setup) != 0 || ioctl(fd, UI_DEV_CREATE) != 0) {
        close(fd);
        opening.problem = Problem::NotUinput;
        return opening;
    }
    opening.injector = std::unique_ptr<UinputInjector>(
        new UinputInjector(std::make_unique<Device>(fd, std::move(keymap)), std::move(later)));
    return opening;
}

TypingResult UinputInjector::typeText(std::u32string_view text, bool enter) {
    const uint64_t first = taken_ + strokes_.size();
    const bool planned = device_->plan(text, enter, strokes_);
    pacer_.run();
    if (failedAt_ && *failedAt_ >= first)
        return TypingResult::stopped(*failedAt_ > first, "die virtuelle Tastatur des Kernels hat "
                                                         "Tastendrücke nicht angenommen.");
    return planned ? TypingResult() : TypingResult::stopped(true, kLackingCharactersReason);
}

StepPacer::Pause UinputInjector::sendBurst() {
    for (int stroke = 0; stroke < kStrokesPerBurst && !strokes_.empty(); ++stroke) {
        if (!device_->strike(strokes_.front())) {
            // What waits would only be typed without the strokes before it.
            failedAt_ = taken_;
            taken_ += strokes_.size();
            strokes_.clear();
            break;
        }
        strokes_.pop_front();
        ++taken_;
    }
    // The kernel drops what its readers have not taken in time.
    return strokes_.empty() ? StepPacer::Pause() : kBurstPause;
}

} // namespace pelvaro
