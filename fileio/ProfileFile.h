#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pelvaro {

// Private-profile (ini) files: "[Section]" lines followed by "key=value"
// lines. Section and key names compare case-insensitively, blanks around names
// and values are ignored, lines starting with ';' are comments, and files
// written by Windows (CR LF) read like files with LF line ends.

// The value of key in section of the text, or nothing when either is missing.
std::optional<std::string> findProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);

// The text with key in section set to value. Only that one line changes: an
// existing key is replaced in place, a new key goes after the section's last
// entry, a new section is appended. Every other byte stays as it was; new lines
// take the file's own line end.
std::string withProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value);

// The text without the line of key in section; unchanged when it has none.
// Every other byte stays as it was.
std::string withoutProfileValue(std::string_view text, std::string_view section,
                                std::string_view key);

// Removes key from section of a file, atomically, only while it still has the
// value expected (a line another program wrote meanwhile stays). True when
// the file no longer holds that line.
bool removeProfileString(const std::filesystem::path& file, std::string_view section,
                         std::string_view key, std::string_view expected);

// Reads one value from a file; nothing when the file, section or key is missing.
std::optional<std::string> readProfileString(const std::filesystem::path& file,
                                             std::string_view section, std::string_view key);

// Writes one key into a file, creating the file if needed and replacing it
// atomically. False when the file cannot be written, or when a name or the
// value holds a line break (it would corrupt the file).
bool writeProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

} // namespace pelvaro
