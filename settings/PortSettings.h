#pragma once

#include <filesystem>
#include <string>

namespace pelvaro {

inline constexpr char kPortsSection[] = "Ports";

// What the [Ports] section of the settings file says about one COM port
// number: "ComN=<path>" names the device of port N, "Defaults=0" leaves the
// ports without such a line without a device.
struct PortEntry {
    std::string device;      // empty: no line, or an empty one
    bool onlyMapped = false; // Defaults=0
};

// The key of port n in the [Ports] section: "ComN".
std::string portKey(int portNumber);

// Reads port n's entry; a missing file, section or key gives an empty entry.
PortEntry readPortEntry(const std::filesystem::path& settingsFile, int portNumber);

// Writes "ComN=<device>" into the [Ports] section, keeping the rest of the file.
bool writePortMapping(const std::filesystem::path& settingsFile, int portNumber,
                      const std::string& devicePath);

// Takes "ComN=<device>" out of the [Ports] section again, keeping every other
// byte of the file; a line that names another device by now stays.
bool removePortMapping(const std::filesystem::path& settingsFile, int portNumber,
                       const std::string& devicePath);

} // namespace pelvaro
