#pragma once

#include "reader/ByteLink.h"
#include "reader/PortMapping.h"
#include "reader/PortProblem.h"

#include <memory>
#include <string>

namespace pelvaro {

// The platform's system calls of a serial port (SerialSystemCalls_posix.h,
// SerialSystemCalls_win32.h).
struct SerialSystemCalls;

// The reader's line speed; every session opens its port with it.
inline constexpr int kReaderBaudRate = 9600;

// What opening a port came to.
enum class OpenResult : int {
    Opened = 1,
    Failed = -1,   // no such device, or another program holds it
    NotSerial = 0, // opened, but it is no serial line
};

// One serial port for synchronous, byte-oriented use at fixed line settings:
// 8 data bits, no parity, one stop bit, no flow control, DTR off and RTS as
// constructed. A one-byte read gives up after 51 ms of silence.
class T_Serial_Interface final : public ByteLink {
public:
    explicit T_Serial_Interface(bool rtsEnable, PortMap ports = PortMap(),
                                const SerialSystemCalls* calls = nullptr);
    ~T_Serial_Interface() override;
    T_Serial_Interface(const T_Serial_Interface&) = delete;
    T_Serial_Interface& operator=(const T_Serial_Interface&) = delete;

    // Opens COM port n through the port mapping. The number is stored first,
    // so it also names a port that failed. An object that is already open
    // refuses (Failed) and keeps its session.
    OpenResult open(int portNumber, int baudRate);
    // Opens a device by its path; same results as open.
    OpenResult openDevice(const std::string& devicePath, int baudRate);
    // Opens again, at its speed, the very device the last open named; never
    // another one. Once the port number is mapped to another device (or to
    // none), the port counts as gone and this fails until the next open.
    OpenResult reopen();
    // True if the port was not open or was released. The line gets back the
    // settings and modem lines it had before the open; on Linux a line that
    // refuses them makes the close fail too. A line that went away is only
    // released.
    bool close();
    bool write(const uint8_t* buffer, size_t count) override;
    ReadOutcome read(uint8_t* buffer, size_t count) override;
    // Discards both queues and drops RTS where the line has modem lines;
    // false if either failed.
    bool flush();

    int portNumber() const { return portNumber_; }
    // Why the last open failed; Kind::None after one that succeeded.
    const PortProblem& problem() const { return problem_; }
    // The device the last open tried; empty when the port number names none.
    const std::string& devicePath() const { return devicePath_; }
    bool isOpen() const { return open_; }

private:
    // The platform's handle of an open line, and the line as it was found.
    struct Line;

    // The platform's open of a device path.
    OpenResult openLine(const std::string& devicePath, int baudRate);
    // A failed open: keeps why, for the device it tried.
    OpenResult refuse(OpenResult result, PortProblem::Kind kind, std::string systemText = {});

    int portNumber_ = 0;
    int baudRate_ = kReaderBaudRate;
    bool openedByNumber_ = false;
    // The port number was found mapped elsewhere since the last open.
    bool remapped_ = false;
    std::string devicePath_;
    PortProblem problem_;
    bool rtsEnable_;
    bool open_ = false;
    // The device went away while open: unplugged, or the far end of a
    // pseudo-terminal closed. Reads report it at once from then on.
    bool lineLost_ = false;
    PortMap ports_;
    const SerialSystemCalls* calls_;
    std::unique_ptr<Line> line_;
};

} // namespace pelvaro
