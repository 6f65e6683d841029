#pragma once

#include <string>

// What the command-line reader does differently per platform.
namespace pelvaro::readtool {

// The sentence that follows "keine Berechtigung für <device>.": what the user
// can do about it, with a leading space; empty where there is no advice.
std::string permissionAdvice(const std::string& devicePath);

// Lets the console show the tool's texts, which are UTF-8.
void useUtf8Console();

// From now on a request to end only sets stopRequested(), and the tool ends
// in its own time: SIGINT and SIGTERM; on Windows Ctrl+C, Ctrl+Break and the
// console window closing, which waits a few seconds for the tool.
void catchStopRequests();
bool stopRequested();

} // namespace pelvaro::readtool
