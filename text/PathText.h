#pragma once

#include <filesystem>
#include <string>

namespace pelvaro {

// A path in UTF-8, whatever the platform's own encoding of paths.
std::string Utf8Path(const std::filesystem::path& path);

// The path a UTF-8 text names.
std::filesystem::path PathFromUtf8(const std::string& text);

} // namespace pelvaro
