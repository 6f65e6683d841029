#pragma once

#include "reader/ByteLink.h"
#include "reader/PortMapping.h"

#include <optional>
#include <string>

#ifdef _WIN32
namespace pelvaro {
using SerialHandle = void*;
struct SerialSystemCalls; // in SerialSystemCalls_win32.h, which brings <windows.h>
} // namespace pelvaro
#else
#include "reader/SerialSystemCalls.h"
namespace pelvaro {
using SerialHandle = int;
}
#endif

namespace pelvaro {

// The reader's line speed; every session opens its port with it.
inline constexpr int kReaderBaudRate = 9600;

// What opening a port came to.
enum class OpenResult : int {
    Opened = 1,
    Failed = -1,   // no such device, or another program holds it
    NotSerial = 0, // opened, but it is no serial line
};

// Why an open failed.
enum class OpenFailure { None, NoDevice, Busy, NoPermission, Other };

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
    // The reason of the last failed open, and the device it tried (empty when
    // the port number names none).
    OpenFailure openFailure() const { return openFailure_; }
    const std::string& devicePath() const { return devicePath_; }
    bool isOpen() const { return open_; }

private:
    // The platform's open of a device path.
    OpenResult openLine(const std::string& devicePath, int baudRate);

    int portNumber_ = 0;
    int baudRate_ = kReaderBaudRate;
    bool openedByNumber_ = false;
    // The port number was found mapped elsewhere since the last open.
    bool remapped_ = false;
    std::string devicePath_;
    OpenFailure openFailure_ = OpenFailure::None;
    bool rtsEnable_;
    bool open_ = false;
    // The device went away while open: unplugged, or the far end of a
    // pseudo-terminal closed. Reads report it at once from then on.
    bool lineLost_ = false;
    SerialHandle handle_{};
    PortMap ports_;
    const SerialSystemCalls* calls_;
#ifdef _WIN32
    // The line's DCB and time-outs as they were found, put back at close;
    // kept as raw bytes so that this header needs no <windows.h>.
    alignas(8) unsigned char foundLine_[64]{};
    // Empty reads in a row that came back long before their time-out.
    int earlyEmptyReads_ = 0;
#else
    // The line as it was found, put back at close.
    termios foundSettings_{};
    std::optional<int> foundModemLines_; // a pseudo-terminal has none
#endif
};

} // namespace pelvaro
