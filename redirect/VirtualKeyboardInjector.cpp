#include "redirect/VirtualKeyboardInjector.h"

#include "redirect/TextKeymap.h"
#include "redirect/protocols/virtual-keyboard-unstable-v1-client-protocol.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
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

// The keymap in a file the compositor maps: a memory file, sealed.
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
    explicit Connection(wl_display* display) : display_(display) {}
    ~Connection() {
        if (keyboard_)
            zwp_virtual_keyboard_v1_destroy(keyboard_);
        if (manager_)
            zwp_virtual_keyboard_manager_v1_destroy(manager_);
        if (seat_)
            wl_seat_destroy(seat_);
        if (registry_)
            wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Finds the seat and the manager; false when the compositor offers none.
    bool bind() {
        registry_ = wl_display_get_registry(display_);
        static const wl_registry_listener listener = {&Connection::announced,
                                                      [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry_, &listener, this);
        if (wl_display_roundtrip(display_) < 0 || !seat_ || !manager_)
            return false;
        keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
        return wl_display_roundtrip(display_) >= 0;
    }

    bool type(std::u32string_view text, bool enter) {
        const TextKeymap keymap = makeTextKeymap(text);
        // The compositor takes the keymap in before the first key comes.
        if (!uploadKeymap(keymap) || wl_display_roundtrip(display_) < 0)
            return false;
        for (const uint32_t key : keymap.keys)
            strike(key);
        if (enter)
            strike(keymap.returnKey);
        // Also where a refusal of the compositor shows.
        return wl_display_roundtrip(display_) >= 0;
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

    static void announced(void* data, wl_registry* registry, uint32_t name, const char* interface,
                          uint32_t) {
        auto* self = static_cast<Connection*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_)
            self->seat_ =
                static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
            self->manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }

    void strike(uint32_t key) {
        zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), key, WL_KEYBOARD_KEY_STATE_PRESSED);
        zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), key, WL_KEYBOARD_KEY_STATE_RELEASED);
    }

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
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
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        opening.problem = Problem::NotReachable;
        return opening;
    }
    auto connection = std::make_unique<Connection>(display);
    if (!connection->bind()) {
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
