#include "settings/SerialSettings.h"

#include "settings/ProfileNumbers.h"

namespace pelvaro {

namespace {

constexpr char kSection[] = "Serial";

} // namespace

SerialSettings readSerialSettings(const std::filesystem::path& file) {
    SerialSettings settings;
    settings.port = readProfileInteger(file, kSection, "Port", settings.port);
    settings.cardLength = readProfileInteger(file, kSection, "CardLen", settings.cardLength);
    settings.hitagInverse = readProfileFlag(file, kSection, "Hitag_inv", settings.hitagInverse);
    return settings;
}

bool writeSerialSettings(const std::filesystem::path& file, const SerialSettings& settings) {
    return writeProfileInteger(file, kSection, "Port", settings.port) &&
           writeProfileInteger(file, kSection, "CardLen", settings.cardLength) &&
           writeProfileFlag(file, kSection, "Hitag_inv", settings.hitagInverse);
}

} // namespace pelvaro
