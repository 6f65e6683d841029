#include "reader/PortDiscovery.h"

namespace pelvaro {

std::vector<int> findOpenablePorts(T_Serial_Interface& port) {
    std::vector<int> found;
    for (int number = 1; number <= kMaxPortNumber; ++number) {
        if (port.open(number, kReaderBaudRate) == OpenResult::Opened) {
            port.close();
            found.push_back(number);
        }
    }
    return found;
}

} // namespace pelvaro
