#include "T_Serial_Interface.h"

namespace pelvaro {

T_Serial_Interface::~T_Serial_Interface() {
    close();
}

OpenResult T_Serial_Interface::open(int portNumber, int baudRate) {
    if (open_)
        return OpenResult::Failed;
    portNumber_ = portNumber;
    const auto path = ports_.devicePath(portNumber);
    if (!path) {
        devicePath_.clear();
        openFailure_ = OpenFailure::NoDevice;
        return OpenResult::Failed;
    }
    return openDevice(*path, baudRate);
}

} // namespace pelvaro
