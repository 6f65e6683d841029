#pragma once

#include <filesystem>
#include <string_view>

namespace pelvaro {

// Who may read a file that is made anew. On Linux an existing file keeps its
// mode; on Windows the replacement gets these permissions as well.
enum class NewFileAccess {
    Usual,    // what the umask leaves of 0666; on Windows what the folder passes on
    UserOnly, // 0600 whatever the umask; on Windows the user and SYSTEM alone
};

// Replaces the whole content of a file so that a crash or power loss in the
// middle leaves either the old or the new file, never a truncated one: the
// new content is written and synced beside the target and then renamed over
// it. A symbolic link stays: the file it points to is replaced, beside that
// file. A target whose write permission bits are all cleared is treated as
// write-protected and left alone, also for a privileged user, because that is
// what the user asked for when making it read-only. Returns false on any
// failure; the old file is then unchanged.
bool replaceFileContents(const std::filesystem::path& target, std::string_view content,
                         NewFileAccess access = NewFileAccess::Usual);

} // namespace pelvaro
