#pragma once

#include <windows.h>

namespace pelvaro {

// The Win32 calls of the serial port, gathered so that a test can make any of
// them fail the way a driver does (SetLastError included), which wine cannot
// show. Production code uses systemSerialCalls().
struct SerialSystemCalls {
    HANDLE (*open)(const char* path); // read and write, exclusive, existing only
    BOOL (*close)(HANDLE port);
    BOOL (*setupComm)(HANDLE port, DWORD inQueue, DWORD outQueue);
    BOOL (*getCommState)(HANDLE port, DCB* state);
    BOOL (*setCommState)(HANDLE port, DCB* state);
    BOOL (*getCommTimeouts)(HANDLE port, COMMTIMEOUTS* timeouts);
    BOOL (*setCommTimeouts)(HANDLE port, COMMTIMEOUTS* timeouts);
    BOOL (*purgeComm)(HANDLE port, DWORD flags);
    BOOL (*clearCommError)(HANDLE port, DWORD* errors, COMSTAT* status);
    BOOL (*escapeCommFunction)(HANDLE port, DWORD function);
    BOOL (*read)(HANDLE port, void* buffer, DWORD count, DWORD* got);
    BOOL (*write)(HANDLE port, const void* buffer, DWORD count, DWORD* written);
};

const SerialSystemCalls& systemSerialCalls();

} // namespace pelvaro
