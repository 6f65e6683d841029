#include "reader/SerialSystemCalls_win32.h"
#include "reader/T_Serial_Interface.h"

#include <chrono>
#include <string>
#include <utility>

namespace pelvaro {

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kQueueSize = 150;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// An empty read waits out its time-out of at least 50 ms. One that comes back
// far sooner found no line; a driver's coarse timer may end a read a tick
// (about 16 ms) early, and two in a row are asked for, so that a single
// hiccup of the scheduler does not end a session.
constexpr auto kEarlyEmptyRead = std::chrono::milliseconds(20);
constexpr int kEarlyEmptyReadsForLoss = 2;

PortProblem::Kind problemOf(DWORD error) {
    using enum PortProblem::Kind;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return Missing;
    case ERROR_ACCESS_DENIED: // what a port held by another program answers
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return Busy;
    default:
        return Other;
    }
}

// The system's own words for an error, in the user's language, as UTF-8.
std::string systemText(DWORD error) {
    wchar_t text[256]{};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, 256, nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' ||
                          text[length - 1] == L' ' || text[length - 1] == L'.'))
        --length;
    char utf8[1024]{};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8,
                                          sizeof utf8, nullptr, nullptr);
    return bytes > 0 ? std::string(utf8, static_cast<size_t>(bytes))
                     : "Fehler " + std::to_string(error);
}

// The errors with which drivers report a device that was pulled out, or a
// handle that no longer reaches one.
bool meansDeviceGone(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
        return true;
    default:
        return false;
    }
}

// A live port always reports its status; a dead one refuses.
bool statusReadable(const SerialSystemCalls& calls, HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    return calls.clearCommError(port, &errors, &status) != 0;
}

// After a failed read or write: is it the line that is gone? Other errors
// (a purge that aborted the call, say) leave a port that still answers.
bool lineGone(const SerialSystemCalls& calls, HANDLE port, DWORD error) {
    return meansDeviceGone(error) || !statusReadable(calls, port);
}

HANDLE openPath(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

} // namespace

const SerialSystemCalls& systemSerialCalls() {
    static const SerialSystemCalls calls{
        openPath,
        CloseHandle,
        SetupComm,
        GetCommState,
        SetCommState,
        GetCommTimeouts,
        SetCommTimeouts,
        PurgeComm,
        ClearCommError,
        EscapeCommFunction,
        [](HANDLE port, void* buffer, DWORD count, DWORD* got) {
            return ReadFile(port, buffer, count, got, nullptr);
        },
        [](HANDLE port, const void* buffer, DWORD count, DWORD* written) {
            return WriteFile(port, buffer, count, written, nullptr);
        },
    };
    return calls;
}

struct T_Serial_Interface::Line {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // The line's DCB and time-outs as they were found, put back at close.
    DCB foundState{};
    COMMTIMEOUTS foundTimeouts{};
    // Empty reads in a row that came back long before their time-out.
    int earlyEmptyReads = 0;
};

T_Serial_Interface::T_Serial_Interface(bool rtsEnable, PortMap ports,
                                       const SerialSystemCalls* calls)
    : rtsEnable_(rtsEnable), ports_(std::move(ports)), calls_(calls ? calls : &systemSerialCalls()),
      line_(std::make_unique<Line>()) {}

T_Serial_Interface::~T_Serial_Interface() {
    close();
}

OpenResult T_Serial_Interface::openLine(const std::string& devicePath, int baudRate) {
    HANDLE port = calls_->open(devicePath.c_str());
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return refuse(OpenResult::Failed, problemOf(error), systemText(error));
    }
    // Every device is left as it was found: a scan must not spoil a modem.
    DCB foundState{};
    foundState.DCBlength = sizeof(foundState);
    COMMTIMEOUTS foundTimeouts{};
    if (!calls_->setupComm(port, kQueueSize, kQueueSize) ||
        !calls_->getCommState(port, &foundState) ||
        !calls_->getCommTimeouts(port, &foundTimeouts)) {
        calls_->close(port); // nothing else holds this handle, so release it
        return refuse(OpenResult::NotSerial, PortProblem::Kind::NotSerial);
    }

    DCB dcb = foundState;
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
    // A read of k bytes may take 50 ms plus 1 ms per byte; a write of k bytes
    // 10 ms per byte plus 10 ms.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = 50;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 10;
    // A port that cannot take the reader's line is no use to it: like a speed
    // the POSIX line cannot take, that is no serial line for the reader. What
    // did change is put back.
    if (!calls_->setCommState(port, &dcb) || !calls_->setCommTimeouts(port, &timeouts)) {
        calls_->setCommState(port, &foundState);
        calls_->setCommTimeouts(port, &foundTimeouts);
        calls_->close(port);
        return refuse(OpenResult::NotSerial, PortProblem::Kind::NotSerial);
    }

    *line_ = Line{port, foundState, foundTimeouts, 0};
    open_ = true;
    problem_ = {};
    lineLost_ = false;
    calls_->purgeComm(port, kPurgeAll);
    return OpenResult::Opened;
}

bool T_Serial_Interface::close() {
    if (!open_)
        return true;
    open_ = false;
    HANDLE port = std::exchange(line_->handle, INVALID_HANDLE_VALUE);
    if (!lineLost_) {
        // The DCB holds the line's settings and how it drives DTR and RTS.
        calls_->setCommState(port, &line_->foundState);
        calls_->setCommTimeouts(port, &line_->foundTimeouts);
    }
    return calls_->close(port) != 0;
}

bool T_Serial_Interface::write(const uint8_t* buffer, size_t count) {
    if (!open_)
        return false;
    HANDLE port = line_->handle;
    DWORD written = 0;
    if (!calls_->write(port, buffer, static_cast<DWORD>(count), &written)) {
        lineLost_ = lineLost_ || lineGone(*calls_, port, GetLastError());
        return false;
    }
    return written == count;
}

ReadOutcome T_Serial_Interface::read(uint8_t* buffer, size_t count) {
    if (!open_)
        return ReadOutcome::Failed;
    if (lineLost_)
        return ReadOutcome::LineLost;
    HANDLE port = line_->handle;
    const auto start = Clock::now();
    DWORD got = 0;
    if (!calls_->read(port, buffer, static_cast<DWORD>(count), &got)) {
        lineLost_ = lineGone(*calls_, port, GetLastError());
        return lineLost_ ? ReadOutcome::LineLost : ReadOutcome::Failed;
    }
    if (got == count) {
        line_->earlyEmptyReads = 0;
        return ReadOutcome::Complete;
    }
    // Silence, or a line that is gone: wine, for one, answers a hung-up
    // pseudo-terminal with empty reads that succeed. The status query and the
    // time the read took tell them apart.
    if (!statusReadable(*calls_, port)) {
        lineLost_ = true;
        return ReadOutcome::LineLost;
    }
    const bool early = got == 0 && Clock::now() - start < kEarlyEmptyRead;
    line_->earlyEmptyReads = early ? line_->earlyEmptyReads + 1 : 0;
    lineLost_ = line_->earlyEmptyReads >= kEarlyEmptyReadsForLoss;
    return lineLost_ ? ReadOutcome::LineLost : ReadOutcome::TimedOut;
}

bool T_Serial_Interface::flush() {
    if (!open_)
        return false;
    HANDLE port = line_->handle;
    if (!calls_->purgeComm(port, kPurgeAll))
        statusReadable(*calls_, port); // clears an error state that may refuse the purge
    if (calls_->escapeCommFunction(port, CLRRTS))
        return true;
    // A port without modem lines (a virtual one, a pseudo-terminal under
    // wine) has no RTS to drop.
    const DWORD error = GetLastError();
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

} // namespace pelvaro
