#include "reader/T_Serial_Interface.h"

#include <utility>

namespace pelvaro {

OpenResult T_Serial_Interface::open(int portNumber, int baudRate) {
    if (open_)
        return OpenResult::Failed;
    portNumber_ = portNumber;
    baudRate_ = baudRate;
    openedByNumber_ = true;
    remapped_ = false;
    const auto path = ports_.devicePath(portNumber);
    devicePath_ = path.value_or(std::string());
    if (!path)
        return refuse(OpenResult::Failed, PortProblem::Kind::NotMapped);
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
    if (remapped_)
        return refuse(OpenResult::Failed, PortProblem::Kind::Missing);
    return openLine(devicePath_, baudRate_);
}

OpenResult T_Serial_Interface::refuse(OpenResult result, PortProblem::Kind kind,
                                      std::string systemText) {
    problem_ = {kind, devicePath_, std::move(systemText)};
    return result;
}

} // namespace pelvaro
