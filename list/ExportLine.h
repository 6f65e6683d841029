#pragma once

#include <string>
#include <string_view>

namespace pelvaro {

// One line of the card list file, without its line end: the label, ";", the
// code's hexadecimal pairs each followed by a blank, ";", their value in
// decimal. Both texts lose leading and trailing blanks and control characters;
// the code counts up to its first pair that is not two hexadecimal digits.
// The label is written as it is, ";" included.
std::string BuildExportLine(std::string_view label, std::string_view code);

} // namespace pelvaro
