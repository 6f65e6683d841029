#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// What each platform does for the secret store's file (SecretFile_*.cpp).
namespace pelvaro::secretfile {

// The store's text as it goes on disk: on Windows encrypted for the user
// (DPAPI), elsewhere as it is. Nothing when that fails.
std::optional<std::string> sealed(std::string_view text);
// The text back from what is on disk; nothing when it is not the user's.
std::optional<std::string> unsealed(std::string_view stored);

// Before the store is written: its folder made, for the user alone where it
// is new, and an existing store closed to others. False when that fails.
bool preparePrivateFile(const std::filesystem::path& file);

// Why a secret file given on the command line is refused: readable by every
// user of the computer. Nothing when it may be used.
std::optional<std::string> exposure(const std::filesystem::path& file);

} // namespace pelvaro::secretfile
