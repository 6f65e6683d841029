#pragma once

#include <filesystem>
#include <string_view>

namespace pelvaro {

// Adds text to the end of a file with a single write, creating the file when
// it is missing, so that a crash loses at most the text of this call. A file
// that is still empty gets header first, in the same write. Nothing is kept
// open between calls. Returns false when the text could not be written whole.
bool appendToFile(const std::filesystem::path& file, std::string_view header,
                  std::string_view text);

} // namespace pelvaro
