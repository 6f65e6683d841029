#pragma once

namespace pelvaro {

// Has the system acknowledge what arrives on the TCP socket at once, not
// after its delayed-ACK pause. A broker holding a small packet until the one
// before is acknowledged (Nagle's algorithm, mosquitto's default) would keep
// the last acknowledgements of each send back that long: some 40 ms on Linux,
// up to 200 ms on Windows. Linux forgets the wish after a while, so it is
// given again before each wait.
void acknowledgeAtOnce(int socket);

} // namespace pelvaro
