#pragma once

#include <string>

namespace pelvaro {

// Shows what a command-line option of the window program answers (UTF-8):
// on its standard output where it has one; a Windows window program has
// none unless redirected, so there it goes to the console it was started
// from, or into a message box when it was started without one.
void showCommandLineText(const std::string& text);

// The same for why an option failed: on standard error, or as an error.
void showCommandLineError(const std::string& text);

} // namespace pelvaro
