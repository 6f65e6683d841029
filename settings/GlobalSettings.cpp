#include "settings/GlobalSettings.h"

#include "settings/ProfileNumbers.h"

#include <array>

namespace pelvaro {

namespace {

constexpr char kSection[] = "Global";

// The keys in the order they are read and written.
struct FlagKey {
    const char* name;
    bool GlobalSettings::*flag;
};

constexpr std::array<FlagKey, 5> kKeys = {{
    {"LineFeed", &GlobalSettings::lineFeed},
    {"SysTray", &GlobalSettings::sysTray},
    {"SendPSNR", &GlobalSettings::sendPersonnelNumber},
    {"Autostart", &GlobalSettings::autostart},
    {"Autosave", &GlobalSettings::autosave},
}};

} // namespace

GlobalSettings readGlobalSettings(const std::filesystem::path& file) {
    GlobalSettings settings;
    for (const FlagKey& key : kKeys)
        settings.*key.flag = readProfileFlag(file, kSection, key.name, settings.*key.flag);
    return settings;
}

bool writeGlobalSettings(const std::filesystem::path& file, const GlobalSettings& settings) {
    for (const FlagKey& key : kKeys)
        if (!writeProfileFlag(file, kSection, key.name, settings.*key.flag))
            return false;
    return true;
}

} // namespace pelvaro
