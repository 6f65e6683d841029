#include "settings/OutputSettings.h"

#include "fileio/ProfileFile.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

namespace pelvaro {

namespace {

constexpr char kSection[] = "Output";

std::string unquoted(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return std::string(text);
}

// A whole decimal number, or nothing.
std::optional<long long> wholeNumber(const std::optional<std::string>& text) {
    long long value = 0;
    if (!text || text->empty())
        return std::nullopt;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

} // namespace

OutputSettings readOutputSettings(const std::filesystem::path& file) {
    OutputSettings settings;
    if (const auto text = readProfileString(file, kSection, "Template"))
        settings.templateText = unquoted(*text);
    if (const auto seconds = wholeNumber(readProfileString(file, kSection, "RepeatGuard")))
        settings.repeatGuardSeconds = static_cast<int>(
            std::clamp<long long>(*seconds, 0, OutputSettings::kMaxRepeatGuardSeconds));
    if (const auto log = wholeNumber(readProfileString(file, kSection, "Log")))
        settings.log = *log != 0;
    return settings;
}

bool writeOutputSettings(const std::filesystem::path& file, const OutputSettings& settings) {
    return writeProfileString(file, kSection, "Template", '"' + settings.templateText + '"') &&
           writeProfileString(file, kSection, "RepeatGuard",
                              std::to_string(settings.repeatGuardSeconds)) &&
           writeProfileString(file, kSection, "Log", settings.log ? "1" : "0");
}

} // namespace pelvaro
