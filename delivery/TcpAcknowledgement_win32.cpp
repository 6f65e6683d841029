#include "delivery/TcpAcknowledgement.h"

#include <winsock2.h>
// after winsock2.h, which it needs
#include <mstcpip.h>

namespace pelvaro {

// An acknowledgement for every segment, for as long as the socket lives.
void acknowledgeAtOnce(int socket) {
    DWORD frequency = 1;
    DWORD returned = 0;
    WSAIoctl(static_cast<SOCKET>(socket), SIO_TCP_SET_ACK_FREQUENCY, &frequency, sizeof frequency,
             nullptr, 0, &returned, nullptr, nullptr);
}

} // namespace pelvaro
