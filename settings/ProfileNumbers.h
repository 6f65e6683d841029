#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pelvaro {

// An integer as the profile functions read it: decimal, or hexadecimal after
// "0x" or "0X", optionally signed; anything else (missing, empty, not a
// number, out of range) gives the default.
int profileInteger(const std::optional<std::string>& text, int defaultValue);

// A number read the same way, the nearest of least to most when it lies
// outside, however far; the default when the text is no number.
long long profileIntegerWithin(const std::optional<std::string>& text, long long least,
                               long long most, long long defaultValue);

// One key of a settings file as an integer, or as a switch (any number but 0
// is on); the default when the file, section or key is missing or the value
// is no number.
int readProfileInteger(const std::filesystem::path& file, std::string_view section,
                       std::string_view key, int defaultValue);
bool readProfileFlag(const std::filesystem::path& file, std::string_view section,
                     std::string_view key, bool defaultValue);

// Writes the number in decimal, a switch as 1 or 0; false when the file
// cannot be written.
bool writeProfileInteger(const std::filesystem::path& file, std::string_view section,
                         std::string_view key, int value);
bool writeProfileFlag(const std::filesystem::path& file, std::string_view section,
                      std::string_view key, bool value);

} // namespace pelvaro
