#pragma once

#include <cstdint>

namespace pelvaro {

// XKB key codes are evdev's plus 8; evdev's first key code is 1.
inline constexpr uint32_t kXkbOffset = 8;

} // namespace pelvaro
