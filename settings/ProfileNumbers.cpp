#include "settings/ProfileNumbers.h"

#include "fileio/ProfileFile.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace pelvaro {

namespace {

// The number the text writes, as profileInteger reads it; one too large for
// the type is taken as its largest magnitude, so that clamping still works.
std::optional<long long> profileNumber(const std::optional<std::string>& text) {
    if (!text)
        return std::nullopt;
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
    if (digits.empty() || end != digits.data() + digits.size() ||
        (error != std::errc() && error != std::errc::result_out_of_range))
        return std::nullopt;
    if (error == std::errc::result_out_of_range)
        value = std::numeric_limits<long long>::max();
    return negative ? -value : value;
}

} // namespace

int profileInteger(const std::optional<std::string>& text, int defaultValue) {
    const auto value = profileNumber(text);
    if (!value || *value < std::numeric_limits<int>::min() ||
        *value > std::numeric_limits<int>::max())
        return defaultValue;
    return static_cast<int>(*value);
}

long long profileIntegerWithin(const std::optional<std::string>& text, long long least,
                               long long most, long long defaultValue) {
    const auto value = profileNumber(text);
    return value ? std::clamp(*value, least, most) : defaultValue;
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
