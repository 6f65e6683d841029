#include "T_Serial_Interface.h"

#include <windows.h>

namespace pelvaro {

namespace {

constexpr DWORD kQueueSize = 150;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

HANDLE nativeHandle(SerialHandle handle) {
    return static_cast<HANDLE>(handle);
}

} // namespace

T_Serial_Interface::T_Serial_Interface(bool rtsEnable, PortMap ports,
                                       const SerialSystemCalls* calls)
    : rtsEnable_(rtsEnable), handle_(INVALID_HANDLE_VALUE), ports_(std::move(ports)),
      calls_(calls) {}

OpenResult T_Serial_Interface::openLine(const std::string& devicePath, int baudRate) {
    HANDLE port = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return OpenResult::Failed;
    if (!SetupComm(port, kQueueSize, kQueueSize)) {
        CloseHandle(port); // nothing else holds this handle, so release it
        return OpenResult::NotSerial;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = 50;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 10;
    SetCommTimeouts(port, &timeouts);

    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    GetCommState(port, &dcb);
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = rtsEnable_ ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = dcb.XoffChar = dcb.ErrorChar = dcb.EofChar = dcb.EvtChar = 0;
    SetCommState(port, &dcb);

    handle_ = port;
    open_ = true;
    lineLost_ = false;
    PurgeComm(port, kPurgeAll);
    return OpenResult::Opened;
}

bool T_Serial_Interface::close() {
    if (!open_)
        return true;
    open_ = false;
    HANDLE port = nativeHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(port) != 0;
}

bool T_Serial_Interface::write(const uint8_t* buffer, size_t count) {
    DWORD written = 0;
    return open_ &&
           WriteFile(nativeHandle(handle_), buffer, static_cast<DWORD>(count), &written, nullptr) &&
           written == count;
}

bool T_Serial_Interface::read(uint8_t* buffer, size_t count) {
    DWORD got = 0;
    if (!open_)
        return false;
    if (!ReadFile(nativeHandle(handle_), buffer, static_cast<DWORD>(count), &got, nullptr)) {
        lineLost_ = GetLastError() == ERROR_ACCESS_DENIED ||
                    GetLastError() == ERROR_BAD_COMMAND; // the device was removed
        return false;
    }
    return got == count;
}

bool T_Serial_Interface::flush() {
    HANDLE port = nativeHandle(handle_);
    if (!PurgeComm(port, kPurgeAll)) {
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(port, &errors, &status);
    }
    return EscapeCommFunction(port, CLRRTS) != 0;
}

} // namespace pelvaro
