#include "settings/PortSettings.h"

#include "fileio/ProfileFile.h"

namespace pelvaro {

std::string portKey(int portNumber) {
    return "Com" + std::to_string(portNumber);
}

PortEntry readPortEntry(const std::filesystem::path& settingsFile, int portNumber) {
    PortEntry entry;
    entry.device =
        readProfileString(settingsFile, kPortsSection, portKey(portNumber)).value_or(std::string());
    entry.onlyMapped = readProfileString(settingsFile, kPortsSection, "Defaults") == "0";
    return entry;
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
