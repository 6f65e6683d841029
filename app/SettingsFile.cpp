#include "app/SettingsFile.h"

#include "fileio/ProfileFile.h"

#include <array>
#include <charconv>
#include <string_view>

namespace pelvaro {

namespace {

// The keys in the order they are read and written; each is an integer or a
// boolean field.
struct SettingKey {
    const char* section;
    const char* name;
    int StoredSettings::*integer;
    bool StoredSettings::*flag;
};

constexpr std::array<SettingKey, 8> kKeys = {{
    {"Serial", "Port", &StoredSettings::port, nullptr},
    {"Serial", "CardLen", &StoredSettings::cardLength, nullptr},
    {"Serial", "Hitag_inv", nullptr, &StoredSettings::hitagInverse},
    {"Global", "LineFeed", nullptr, &StoredSettings::lineFeed},
    {"Global", "SysTray", nullptr, &StoredSettings::sysTray},
    {"Global", "SendPSNR", nullptr, &StoredSettings::sendPersonnelNumber},
    {"Global", "Autostart", nullptr, &StoredSettings::autostart},
    {"Global", "Autosave", nullptr, &StoredSettings::autosave},
}};

} // namespace

int profileInteger(const std::optional<std::string>& text, int defaultValue) {
    if (!text)
        return defaultValue;
    std::string_view digits = *text;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
        digits.remove_prefix(1);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    long long value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        value > 2147483648LL || (!negative && value > 2147483647LL))
        return defaultValue;
    return static_cast<int>(negative ? -value : value);
}

StoredSettings readStoredSettings(const std::filesystem::path& file) {
    StoredSettings settings;
    for (const SettingKey& key : kKeys) {
        const auto text = readProfileString(file, key.section, key.name);
        if (key.flag)
            settings.*key.flag = profileInteger(text, settings.*key.flag ? 1 : 0) != 0;
        else
            settings.*key.integer = profileInteger(text, settings.*key.integer);
    }
    return settings;
}

bool writeStoredSettings(const std::filesystem::path& file, const StoredSettings& settings) {
    for (const SettingKey& key : kKeys) {
        const int value = key.flag ? (settings.*key.flag ? 1 : 0) : settings.*key.integer;
        if (!writeProfileString(file, key.section, key.name, std::to_string(value)))
            return false;
    }
    return true;
}

} // namespace pelvaro
