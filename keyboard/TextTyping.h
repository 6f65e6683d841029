#pragma once

#include "keyboard/KeystrokeInjector.h"

#include <string>
#include <string_view>

namespace pelvaro {

// The characters of UTF-8 text; bytes that are not well-formed UTF-8 become
// U+FFFD each, as a toolkit shows them.
std::u32string decodeText(std::string_view text);

// Types the UTF-8 text, then ENTER when asked, however long the text is.
TypingResult sendKeystrokes(KeystrokeInjector& injector, std::string_view text, bool enter);

// What became of a typing, as the read log keeps it: "getippt", "teilweise
// getippt: <Grund>" or "nicht getippt: <Grund>".
std::string typingResultText(const TypingResult& result);

} // namespace pelvaro
