#include "reader/HardwareReply.h"

#include <array>

namespace pelvaro {

namespace {

constexpr const char* kUndefined = "undefiniert";

constexpr std::array<const char*, 2> kYesNoNames = {"nein", "ja"};

constexpr std::array<const char*, 7> kRfidTechnologyNames = {
    kUndefined,           "125 kHz",         "Mifare classic 1k", "Legic prime", "Legic advant",
    "Mifare DESFire EV1", "Legic Advant4000"};

constexpr std::array<const char*, 20> kPlatformNames = {kUndefined,
                                                        "Busleser",
                                                        "Busleser mit Tastatur",
                                                        "Busleser mit Display",
                                                        "Einbaumodul",
                                                        "Einbaumodul mit Tastatur",
                                                        "Tischleser",
                                                        "Tischleser mit Tastatur",
                                                        "Motorleser",
                                                        "Fingerabdruckleser",
                                                        "Fingerabdruckleser mit Tastatur",
                                                        "IO-Box RS485",
                                                        "Displayleser",
                                                        "Displayleser mit Tastatur",
                                                        "Kartenausgeber",
                                                        "Steuerplatine",
                                                        "Wandleser",
                                                        "Wandleser mit Tastatur",
                                                        "Türmodul",
                                                        kUndefined};

constexpr std::array<const char*, 4> kBusModuleNames = {kUndefined, "Busmodul", "Einbaumodul",
                                                        kUndefined};

template <size_t N>
const char* nameOf(const std::array<const char*, N>& names, const std::optional<uint8_t>& code) {
    return code && *code < N ? names[*code] : kUndefined;
}

// 0..19 name platforms; 0xF0..0xF3 the bus modules; every other code is unknown.
const char* platformName(const std::optional<uint8_t>& code) {
    if (!code)
        return kUndefined;
    if (*code < kPlatformNames.size())
        return kPlatformNames[*code];
    const uint8_t module = static_cast<uint8_t>(*code + 0x10);
    return kBusModuleNames[module < kBusModuleNames.size() ? module : 0];
}

std::optional<uint8_t> replyByte(const ReaderFrame& frame, size_t offset) {
    // The reply's content ends before DLE ETX and the two check characters.
    if (offset + 4 >= frame.length())
        return std::nullopt;
    return frame.byteAt(offset);
}

} // namespace

std::optional<HardwareReply> requestHardwareReply(ReaderProtocol& engine, uint8_t address) {
    static constexpr uint8_t kRequest = 'H';
    const auto frame = engine.request(address, &kRequest, 1);
    if (!frame)
        return std::nullopt;
    return HardwareReply{replyByte(*frame, 1), replyByte(*frame, 2), replyByte(*frame, 3),
                         replyByte(*frame, 4)};
}

std::string hardwareInfoText(const HardwareReply& reply) {
    return std::string("Hardware Info:\n==============\nPlattform: ") +
           platformName(reply.platform) +
           "\nRFID: " + nameOf(kRfidTechnologyNames, reply.rfidTechnology) +
           "\nTastatur: " + nameOf(kYesNoNames, reply.keyboard) +
           "\nIO-Box: " + nameOf(kYesNoNames, reply.ioBox);
}

} // namespace pelvaro
