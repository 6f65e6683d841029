#include "tools/read/ReadPlatform.h"

#include <atomic>
#include <cstdlib>
#include <windows.h>

namespace pelvaro::readtool {

namespace {

// The console window closing, logging off and shutting down end the process
// as soon as the handler returns; the main loop needs a pass and the close of
// the port, and Windows waits five seconds before it ends the process anyway.
constexpr DWORD kEndingGraceMs = 4000;

std::atomic<bool> stopAsked{false};
UINT foundOutputCodePage = 0;

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        stopAsked = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        stopAsked = true;
        // The main loop's return ends the process, and this wait with it.
        Sleep(kEndingGraceMs);
        return TRUE;
    default:
        return FALSE;
    }
}

void restoreOutputCodePage() {
    SetConsoleOutputCP(foundOutputCodePage);
}

} // namespace

std::string permissionAdvice(const std::string&) {
    return {}; // access to a port is no matter of groups here
}

void useUtf8Console() {
    // The code page belongs to the console, which outlives the tool.
    foundOutputCodePage = GetConsoleOutputCP();
    if (foundOutputCodePage == 0 || foundOutputCodePage == CP_UTF8)
        return; // no console, or nothing to change
    if (SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreOutputCodePage);
}

void catchStopRequests() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stopRequested() {
    return stopAsked;
}

} // namespace pelvaro::readtool
