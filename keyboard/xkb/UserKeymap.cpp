#include "keyboard/xkb/UserKeymap.h"

#include "keyboard/wayland/WaylandConnection.h"

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

void keymapSent(void* data, wl_keyboard*, uint32_t format, int fd, uint32_t size) {
    auto* keymap = static_cast<std::optional<std::string>*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            // The text ends with a NUL within size.
            *keymap = std::string(static_cast<const char*>(mapped),
                                  strnlen(static_cast<const char*>(mapped), size));
            munmap(mapped, size);
        }
    }
    close(fd);
}

} // namespace

std::optional<std::string> waylandKeymap() {
    const auto connection = WaylandConnection::open();
    if (!connection || !connection->seat())
        return std::nullopt;
    static const wl_keyboard_listener keyboardListener = {
        keymapSent,
        [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
        [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
        [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {},
        [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
        [](void*, wl_keyboard*, int32_t, int32_t) {}};
    // Asking a seat that never had a keyboard is a protocol error, and mutter
    // crashes on it.
    if (!connection->seatHasKeyboard())
        return std::nullopt;
    std::optional<std::string> keymap;
    wl_keyboard* keyboard = wl_seat_get_keyboard(connection->seat());
    wl_keyboard_add_listener(keyboard, &keyboardListener, &keymap);
    wl_display_roundtrip(connection->display());
    wl_keyboard_destroy(keyboard);
    return keymap;
}

} // namespace pelvaro
