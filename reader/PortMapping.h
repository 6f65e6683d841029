#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelvaro {

inline constexpr int kMaxPortNumber = 255;

// Turns a COM port number (1..255) into the path of a serial device. A line
// "ComN=<path>" in the [Ports] section of the settings file names the device
// of port N; without one the fixed default of the platform holds, unless the
// section says "Defaults=0": then only mapped ports exist, and probing for
// ports never touches other serial devices of the machine (a modem, say). The file is
// read at every look-up, so a mapping written while the program runs counts
// from the next open on.
class PortMap {
public:
    PortMap() = default; // fixed defaults only
    explicit PortMap(std::filesystem::path settingsFile);

    std::optional<std::string> devicePath(int portNumber) const;

private:
    std::filesystem::path settingsFile_;
};

// The platform's fixed device of a port number: on Linux Com1..Com32 are
// /dev/ttyS0..31, Com33..Com64 /dev/ttyUSB0..31 and Com65..Com96
// /dev/ttyACM0..31; on Windows \\.\COMn. Nothing for numbers without one.
std::optional<std::string> defaultDevicePath(int portNumber);

} // namespace pelvaro
