#include "keyboard/ei/EiLibrary.h"

#include "personnel/SharedLibrary.h"

#include <filesystem>
#include <system_error>

namespace pelvaro {

struct EiLibraryLoader {
    template <typename Function> static bool bind(const SharedLibrary& library, Function& function,
                                                  const char* name) {
        function = reinterpret_cast<Function>(library.symbol(name));
        return function != nullptr;
    }

    static std::unique_ptr<EiLibrary> load() {
        auto library = SharedLibrary::loadInstalled("libei.so.1");
        if (!library)
            return nullptr;
        auto ei = std::make_unique<EiLibrary>();
        const SharedLibrary& from = *library;
        const bool bound =
            bind(from, ei->newSender, "ei_new_sender") && bind(from, ei->unref, "ei_unref") &&
            bind(from, ei->configureName, "ei_configure_name") &&
            bind(from, ei->setupBackendFd, "ei_setup_backend_fd") &&
            bind(from, ei->getFd, "ei_get_fd") && bind(from, ei->dispatch, "ei_dispatch") &&
            bind(from, ei->getEvent, "ei_get_event") && bind(from, ei->now, "ei_now") &&
            bind(from, ei->eventGetType, "ei_event_get_type") &&
            bind(from, ei->eventUnref, "ei_event_unref") &&
            bind(from, ei->eventGetSeat, "ei_event_get_seat") &&
            bind(from, ei->eventGetDevice, "ei_event_get_device") &&
            bind(from, ei->modsDepressed, "ei_event_keyboard_get_xkb_mods_depressed") &&
            bind(from, ei->modsLatched, "ei_event_keyboard_get_xkb_mods_latched") &&
            bind(from, ei->modsLocked, "ei_event_keyboard_get_xkb_mods_locked") &&
            bind(from, ei->group, "ei_event_keyboard_get_xkb_group") &&
            bind(from, ei->seatBindCapabilities, "ei_seat_bind_capabilities") &&
            bind(from, ei->deviceHasCapability, "ei_device_has_capability") &&
            bind(from, ei->deviceRef, "ei_device_ref") &&
            bind(from, ei->deviceUnref, "ei_device_unref") &&
            bind(from, ei->deviceStartEmulating, "ei_device_start_emulating") &&
            bind(from, ei->deviceKeyboardKey, "ei_device_keyboard_key") &&
            bind(from, ei->deviceFrame, "ei_device_frame") &&
            bind(from, ei->deviceKeymap, "ei_device_keyboard_get_keymap") &&
            bind(from, ei->keymapType, "ei_keymap_get_type") &&
            bind(from, ei->keymapFd, "ei_keymap_get_fd") &&
            bind(from, ei->keymapSize, "ei_keymap_get_size");
        if (!bound)
            return nullptr;
        // libei has no call for its version; its file carries it (libei.so.1.3.901).
        std::error_code ignored;
        const std::string file = std::filesystem::canonical(library->file(), ignored).filename();
        const std::string prefix = "libei.so.";
        ei->version = file.starts_with(prefix) ? file.substr(prefix.size()) : "1";
        ei->library_ = std::move(library);
        return ei;
    }
};

const EiLibrary* EiLibrary::get() {
    static const std::unique_ptr<EiLibrary> loaded = EiLibraryLoader::load();
    return loaded.get();
}

} // namespace pelvaro
