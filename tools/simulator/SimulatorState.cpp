#include "tools/simulator/SimulatorState.h"

#include <cerrno>
#include <unistd.h>

namespace pelvaro::sim {

bool SimulatorState::write(std::span<const uint8_t> bytes, bool frame) {
    std::lock_guard writing(writeMutex);
    const int fd = line.master();
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    if (frame) {
        const auto now = Clock::now();
        std::lock_guard lock(mutex);
        lastWrite = now;
    }
    return true;
}

void SimulatorState::closeLine() {
    std::lock_guard writing(writeMutex);
    line.close();
}

} // namespace pelvaro::sim
