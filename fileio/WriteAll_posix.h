#pragma once

#include <string_view>

namespace pelvaro {

// Writes all of content to fd, going on after short writes and interrupted
// calls. False when a write fails; part of content may then be written.
bool writeAll(int fd, std::string_view content);

} // namespace pelvaro
