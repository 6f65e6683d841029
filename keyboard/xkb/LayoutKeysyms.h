#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

namespace pelvaro {

// The keysyms the first layout of a keyboard map gives on any key and level:
// all that a desktop which types keysyms through the user's own layout can
// produce. Null when the map (XKB's text format) does not compile.
std::optional<std::unordered_set<uint32_t>> layoutKeysyms(const std::string& keymap);

} // namespace pelvaro
