#pragma once

#include <cstdint>
#include <memory>

struct wl_display;
struct wl_interface;
struct wl_registry;
struct wl_seat;

namespace pelvaro {

// A connection to WAYLAND_DISPLAY's compositor and the globals a client of
// ours binds, at version 1: the first seat, and the first global of one more
// interface, one without a destructor request, when it is named. They go
// with the connection.
class WaylandConnection {
public:
    // Null when the compositor does not answer.
    static std::unique_ptr<WaylandConnection> open(const wl_interface* other = nullptr);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    // Null when the compositor has none or its list of globals did not arrive.
    wl_seat* seat() const { return listed_ ? seat_ : nullptr; }
    // Whether the seat has a keyboard, as the compositor last told.
    bool seatHasKeyboard() const { return seatHasKeyboard_; }
    template <typename Global> Global* other() const {
        return listed_ ? static_cast<Global*>(other_) : nullptr;
    }

private:
    WaylandConnection(wl_display* display, const wl_interface* other)
        : display_(display), otherInterface_(other) {}
    static void announced(void* data, wl_registry* registry, uint32_t name, const char* interface,
                          uint32_t version);
    static void seatCapabilities(void* data, wl_seat* seat, uint32_t capabilities);

    wl_display* display_;
    const wl_interface* otherInterface_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    void* other_ = nullptr;
    bool listed_ = false;
    bool seatHasKeyboard_ = false;
};

} // namespace pelvaro
