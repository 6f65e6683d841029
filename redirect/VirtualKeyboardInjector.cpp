#include "redirect/VirtualKeyboardInjector.h"

#include "redirect/TextKeymap.h"
#include "redirect/WaylandConnection.h"
#include "redirect/protocols/virtual-keyboard-unstable-v1-client-protocol.h"

#include <chrono>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace pelvaro {

namespace {

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
        keyboard_ =
            zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, wayland_->seat());
        return wl_display_roundtrip(wayland_->display()) >= 0;
    }

    bool type(std::u32string_view text, bool enter) {
        const TextKeymap keymap = makeTextKeymap(text);
        // The compositor takes the keymap in before the first key comes.
        if (!uploadKeymap(keymap) || wl_display_roundtrip(wayland_->display()) < 0)
            return false;
        for (const uint32_t key : keymap.keys)
            strike(key);
        if (enter)
            strike(keymap.returnKey);
        // Also where a refusal of the compositor shows.
        return wl_display_roundtrip(wayland_->display()) >= 0;
    }

private:
    bool uploadKeymap(const TextKeymap& keymap) {
        const int fd = keymapFile(keymap.text);
        if (fd < 0)
            return false;
        zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<uint32_t>(keymap.text.size() + 1));
        close(fd);
        zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
        return true;
    }

    void strike(uint32_t key) {
        zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), key, WL_KEYBOARD_KEY_STATE_PRESSED);
        zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), key, WL_KEYBOARD_KEY_STATE_RELEASED);
    }

    std::unique_ptr<WaylandConnection> wayland_;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
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

bool VirtualKeyboardInjector::typeText(std::u32string_view text, bool enter) {
    return connection_->type(text, enter);
}

} // namespace pelvaro
