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
    devicePath_ = devicePath;
    return openLine(devicePath, baudRate);
}

OpenResult T_Serial_Interface::reopen() {
    // By number the mapping is read again: it is where a moved device is named.
    return openedByNumber_ ? open(portNumber_, baudRate_) : openDevice(devicePath_, baudRate_);
}

} // namespace pelvaro
