#include "keyboard/wayland/WaylandConnection.h"

#include <cstring>
#include <wayland-client.h>

namespace pelvaro {

std::unique_ptr<WaylandConnection> WaylandConnection::open(const wl_interface* other) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display, other));
    static const wl_registry_listener listener = {&WaylandConnection::announced,
                                                  [](void*, wl_registry*, uint32_t) {}};
    connection->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(connection->registry_, &listener, connection.get());
    // The second brings the first events of the globals bound.
    connection->listed_ = wl_display_roundtrip(display) >= 0 && wl_display_roundtrip(display) >= 0;
    return connection;
}

WaylandConnection::~WaylandConnection() {
    // Neither has a destructor request at version 1: this only frees them.
    if (other_)
        wl_proxy_destroy(static_cast<wl_proxy*>(other_));
    if (seat_)
        wl_seat_destroy(seat_);
    if (registry_)
        wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void WaylandConnection::announced(void* data, wl_registry* registry, uint32_t name,
                                  const char* interface, uint32_t) {
    auto* self = static_cast<WaylandConnection*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_) {
        self->seat_ =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        static const wl_seat_listener listener = {&WaylandConnection::seatCapabilities,
                                                  [](void*, wl_seat*, const char*) {}};
        wl_seat_add_listener(self->seat_, &listener, self);
    } else if (self->otherInterface_ && std::strcmp(interface, self->otherInterface_->name) == 0 &&
               !self->other_)
        self->other_ = wl_registry_bind(registry, name, self->otherInterface_, 1);
}

void WaylandConnection::seatCapabilities(void* data, wl_seat*, uint32_t capabilities) {
    static_cast<WaylandConnection*>(data)->seatHasKeyboard_ =
        (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
}

} // namespace pelvaro
