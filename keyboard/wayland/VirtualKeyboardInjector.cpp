#include "keyboard/wayland/VirtualKeyboardInjector.h"

#include "keyboard/wayland/WaylandConnection.h"
#include "keyboard/wayland/protocols/virtual-keyboard-unstable-v1-client-protocol.h"
#include "keyboard/xkb/TextKeymap.h"

#include <chrono>
#include <cstdlib>
#include <optional>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <wayland-client.h>

namespace pelvaro {

namespace {

using Clock = std::chrono::steady_clock;

// What card codes are made of: in the first map already, so that a card
// needs no new one.
constexpr std::u32string_view kCardCodeCharacters = U"0123456789ABCDEF\t";

// How long clients take to ask for a keyboard of their own once the seat has
// one: keys before that reach no client.
constexpr std::chrono::milliseconds kClientsTakeUpKeyboard(200);

uint32_t milliseconds() {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// The keymap in a memory file, for the compositor to map.
int keymapFile(const std::string& text) {
    const int fd = memfd_create("pelvaro-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    // The compositor reads it as a C string.
    const size_t size = text.size() + 1;
    if (write(fd, text.c_str(), size) != static_cast<ssize_t>(size)) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class VirtualKeyboardInjector::Connection {
public:
    explicit Connection(std::unique_ptr<WaylandConnection> wayland)
        : wayland_(std::move(wayland)) {}
    ~Connection() {
        if (keyboard_)
            zwp_virtual_keyboard_v1_destroy(keyboard_);
    }

    // Makes the program's virtual keyboard; false when the compositor offers none.
    bool createKeyboard() {
        auto* manager = wayland_->other<zwp_virtual_keyboard_manager_v1>();
        if (!wayland_->seat() || !manager)
            return false;
        // On a seat without a keyboard, clients have none of their own until
        // ours appears and they ask for one.
        if (!wayland_->seatHasKeyboard())
            firstKeysNotBefore_ = Clock::now() + kClientsTakeUpKeyboard;
        keyboard_ =
            zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, wayland_->seat());
        keymap_.hold(kCardCodeCharacters);
        return uploadKeymap();
    }

    TypingResult type(std::u32string_view text, bool enter) {
        if (keymap_.hold(text) && !uploadKeymap())
            return TypingResult::stopped(false, "der Compositor hat die Tastaturbelegung nicht "
                                                "angenommen.");
        if (firstKeysNotBefore_) {
            std::this_thread::sleep_until(*firstKeysNotBefore_);
            firstKeysNotBefore_.reset();
        }
        for (const uint32_t key : keymap_.keysOf(text))
            strike(key);
        if (enter)
            strike(TextKeymap::kReturnKey);
        // Also where a refusal of the compositor shows; which keys it took
        // before is not known.
        if (wl_display_roundtrip(wayland_->display()) < 0)
            return TypingResult::stopped(false, "die Verbindung zum Compositor ist abgebrochen.");
        return {};
    }

private:
    // The compositor takes the keymap in before the first key comes.
    bool uploadKeymap() {
        const std::string text = keymap_.text();
        const int fd = keymapFile(text);
        if (fd < 0)
            return false;
        zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<uint32_t>(text.size() + 1));
        close(fd);
        zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
        return wl_display_roundtrip(wayland_->display()) >= 0;
    }

    void strike(uint32_t key) {
        zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), key, WL_KEYBOARD_KEY_STATE_PRESSED);
        zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), key, WL_KEYBOARD_KEY_STATE_RELEASED);
    }

    std::unique_ptr<WaylandConnection> wayland_;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    TextKeymap keymap_;
    std::optional<Clock::time_point> firstKeysNotBefore_;
};

VirtualKeyboardInjector::VirtualKeyboardInjector(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

VirtualKeyboardInjector::~VirtualKeyboardInjector() = default;

VirtualKeyboardInjector::Opening VirtualKeyboardInjector::open() {
    Opening opening;
    const char* name = std::getenv("WAYLAND_DISPLAY");
    opening.displayName = name ? name : "";
    if (opening.displayName.empty()) {
        opening.problem = Problem::NoWaylandDisplay;
        return opening;
    }
    auto wayland = WaylandConnection::open(&zwp_virtual_keyboard_manager_v1_interface);
    if (!wayland) {
        opening.problem = Problem::NotReachable;
        return opening;
    }
    auto connection = std::make_unique<Connection>(std::move(wayland));
    if (!connection->createKeyboard()) {
        opening.problem = Problem::NoVirtualKeyboard;
        return opening;
    }
    opening.injector = std::unique_ptr<VirtualKeyboardInjector>(
        new VirtualKeyboardInjector(std::move(connection)));
    return opening;
}

TypingResult VirtualKeyboardInjector::typeText(std::u32string_view text, bool enter) {
    return connection_->type(text, enter);
}

} // namespace pelvaro
