#pragma once

#include "reader/ReaderProtocol.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pelvaro {

// The reader's answer to the hardware request: platform, RFID technology,
// keyboard and IO box codes. Codes missing from a short reply are unknown.
struct HardwareReply {
    std::optional<uint8_t> platform;
    std::optional<uint8_t> rfidTechnology;
    std::optional<uint8_t> keyboard;
    std::optional<uint8_t> ioBox;
};

// The hardware request 'H' to the reader at the address and its reply.
// Nothing when no reply came.
std::optional<HardwareReply> requestHardwareReply(ReaderProtocol& engine, uint8_t address);

// The reply as the user sees it, "Hardware Info:\n==============\nPlattform:
// ...". Codes without a name read "undefiniert".
std::string hardwareInfoText(const HardwareReply& reply);

} // namespace pelvaro
