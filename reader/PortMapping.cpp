#include "reader/PortMapping.h"

#include "fileio/ProfileFile.h"

#include <array>

namespace pelvaro {

PortMap::PortMap(std::filesystem::path settingsFile) : settingsFile_(std::move(settingsFile)) {}

std::optional<std::string> PortMap::devicePath(int portNumber) const {
    if (portNumber < 1 || portNumber > kMaxPortNumber)
        return std::nullopt;
    if (!settingsFile_.empty()) {
        auto mapped = readProfileString(settingsFile_, kPortsSection, portKey(portNumber));
        if (mapped && !mapped->empty())
            return mapped;
        if (readProfileString(settingsFile_, kPortsSection, "Defaults") == "0")
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

std::string portKey(int portNumber) {
    return "Com" + std::to_string(portNumber);
}

bool writePortMapping(const std::filesystem::path& settingsFile, int portNumber,
                      const std::string& devicePath) {
    return writeProfileString(settingsFile, kPortsSection, portKey(portNumber), devicePath);
}

bool removePortMapping(const std::filesystem::path& settingsFile, int portNumber,
                       const std::string& devicePath) {
    return removeProfileString(settingsFile, kPortsSection, portKey(portNumber), devicePath);
}

} // namespace pelvaro
