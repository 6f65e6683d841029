#include "reader/T_Serial_Interface.h"

namespace pelvaro {

T_Serial_Interface::~T_Serial_Interface() {
    close();
}

OpenResult T_Serial_Interface::open(int portNumber, int baudRate) {
    if (open_)
        return OpenResult::Failed;
    portNumber_ = portNumber;
    baudRate_ = baudRate;
    openedByNumber_ = true;
    remapped_ = false;
    const auto path = ports_.devicePath(portNumber);
    devicePath_ = path.value_or(std::string());
    if (!path) {
        openFailure_ = OpenFailure::NoDevice;
        return OpenResult::Failed;
    }
    return openLine(*path, baudRate);
}

OpenResult T_Serial_Interface::openDevice(const std::string& devicePath, int baudRate) {
    if (open_)
        return OpenResult::Failed;
    baudRate_ = baudRate;
    openedByNumber_ = false;
    remapped_ = false;
    devicePath_ = devicePath;
    return openLine(devicePath, baudRate);
}

OpenResult T_Serial_Interface::reopen() {
    if (open_)
        return OpenResult::Failed;
    // A port mapped elsewhere meanwhile names another reader, or another
    // program's line: the reader that was read is gone.
    if (openedByNumber_ && ports_.devicePath(portNumber_) != devicePath_)
        remapped_ = true;
    if (remapped_) {
        openFailure_ = OpenFailure::NoDevice;
        return OpenResult::Failed;
    }
    return openLine(devicePath_, baudRate_);
}

} // namespace pelvaro
