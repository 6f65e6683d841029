#include "reader/PortDiscovery.h"

namespace pelvaro {

PortScan findOpenablePorts(T_Serial_Interface& port) {
    PortScan scan;
    for (int number = 1; number <= kMaxPortNumber; ++number) {
        if (port.open(number, kReaderBaudRate) == OpenResult::Opened) {
            port.close();
            scan.openable.push_back(number);
        } else {
            scan.problems[number] = port.problem();
        }
    }
    return scan;
}

} // namespace pelvaro
