#include "settings/ProfileNumbers.h"

#include "fileio/ProfileFile.h"

#include <charconv>

namespace pelvaro {

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

int readProfileInteger(const std::filesystem::path& file, std::string_view section,
                       std::string_view key, int defaultValue) {
    return profileInteger(readProfileString(file, section, key), defaultValue);
}

bool readProfileFlag(const std::filesystem::path& file, std::string_view section,
                     std::string_view key, bool defaultValue) {
    return readProfileInteger(file, section, key, defaultValue ? 1 : 0) != 0;
}

bool writeProfileInteger(const std::filesystem::path& file, std::string_view section,
                         std::string_view key, int value) {
    return writeProfileString(file, section, key, std::to_string(value));
}

bool writeProfileFlag(const std::filesystem::path& file, std::string_view section,
                      std::string_view key, bool value) {
    return writeProfileInteger(file, section, key, value ? 1 : 0);
}

} // namespace pelvaro
