#include "reader/PortMapping.h"

#include "settings/PortSettings.h"

#include <array>

namespace pelvaro {

PortMap::PortMap(std::filesystem::path settingsFile) : settingsFile_(std::move(settingsFile)) {}

std::optional<std::string> PortMap::devicePath(int portNumber) const {
    if (portNumber < 1 || portNumber > kMaxPortNumber)
        return std::nullopt;
    if (!settingsFile_.empty()) {
        PortEntry entry = readPortEntry(settingsFile_, portNumber);
        if (!entry.device.empty())
            return std::move(entry.device);
        if (entry.onlyMapped)
            return std::nullopt;
    }
    return defaultDevicePath(portNumber);
}

std::optional<std::string> defaultDevicePath(int portNumber) {
    if (portNumber < 1 || portNumber > kMaxPortNumber)
        return std::nullopt;
#ifdef _WIN32
    return "\\\\.\\COM" + std::to_string(portNumber);
#else
    constexpr int kDevicesPerFamily = 32;
    constexpr std::array<const char*, 3> kFamilies = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    const size_t family = static_cast<size_t>((portNumber - 1) / kDevicesPerFamily);
    if (family >= kFamilies.size())
        return std::nullopt;
    return kFamilies[family] + std::to_string((portNumber - 1) % kDevicesPerFamily);
#endif
}

} // namespace pelvaro
