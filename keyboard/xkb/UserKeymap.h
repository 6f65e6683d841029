#pragma once

#include <optional>
#include <string>

namespace pelvaro {

// The user's keyboard map in XKB's text format, for a backend that types
// through the keys of the user's own layout.

// From layout names ("de", "us,ru"), as for setxkbmap; an empty layout is
// XKB's default.
std::optional<std::string> keymapFromNames(const std::string& layout, const std::string& variant);

// The map the Wayland compositor of WAYLAND_DISPLAY hands its clients.
std::optional<std::string> waylandKeymap();

} // namespace pelvaro
