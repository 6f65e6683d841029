#pragma once

#include <filesystem>
#include <string_view>

namespace pelvaro {

// Adds text to the end of a file, whole or not at all: a write that falls
// short (a full disk) is taken back, so that the next text does not end up
// glued to half of this one. A file that is still empty gets header first,
// in the same write. A missing file is created readable by the user alone
// (on Windows the user and SYSTEM), whatever the umask: what is appended is
// personal data. Others may read and write the file meanwhile. Nothing is
// kept open between calls. Returns false when the text was not written.
bool appendToFile(const std::filesystem::path& file, std::string_view header,
                  std::string_view text);

} // namespace pelvaro
