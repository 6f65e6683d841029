#include "redirect/UserKeymap.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

std::optional<std::string> keymapFromNames(const std::string& layout, const std::string& variant) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return std::nullopt;
    const xkb_rule_names names = {"evdev", "pc105", layout.empty() ? nullptr : layout.c_str(),
                                  variant.empty() ? nullptr : variant.c_str(), nullptr};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    std::optional<std::string> text;
    if (keymap) {
        char* written = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        if (written)
            text = written;
        std::free(written);
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return text;
}

namespace {

// What the registry and the keyboard tell while the map is fetched.
struct KeymapFetch {
    wl_seat* seat = nullptr;
    std::optional<std::string> keymap;
};

void keymapSent(void* data, wl_keyboard*, uint32_t format, int fd, uint32_t size) {
    auto* fetch = static_cast<KeymapFetch*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            // The text ends with a NUL within size.
            fetch->keymap = std::string(static_cast<const char*>(mapped),
                                        strnlen(static_cast<const char*>(mapped), size));
            munmap(mapped, size);
        }
    }
    close(fd);
}

} // namespace

std::optional<std::string> waylandKeymap() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return std::nullopt;
    KeymapFetch fetch;
    static const wl_registry_listener registryListener = {
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
            auto* fetch = static_cast<KeymapFetch*>(data);
            if (std::strcmp(interface, wl_seat_interface.name) == 0 && !fetch->seat)
                fetch->seat =
                    static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &fetch);
    wl_display_roundtrip(display);
    if (fetch.seat) {
        static const wl_keyboard_listener keyboardListener = {
            keymapSent,
            [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
            [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
            [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {},
            [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
            [](void*, wl_keyboard*, int32_t, int32_t) {}};
        wl_keyboard* keyboard = wl_seat_get_keyboard(fetch.seat);
        wl_keyboard_add_listener(keyboard, &keyboardListener, &fetch);
        wl_display_roundtrip(display);
        wl_keyboard_destroy(keyboard);
        wl_seat_destroy(fetch.seat);
    }
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return fetch.keymap;
}

} // namespace pelvaro
