#pragma once

#include <string>
#include <string_view>

namespace pelvaro {

// The text in Windows-1252, the 8-bit code page of German Windows systems. A
// character that code page cannot hold, and every byte that is not part of
// well-formed UTF-8, becomes "?".
std::string utf8ToWindows1252(std::string_view utf8);

} // namespace pelvaro
