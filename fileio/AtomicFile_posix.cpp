#include "fileio/AtomicFile.h"

#include "fileio/WriteAll_posix.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvaro {

namespace {

// A new file beside the target for the content, created exclusively, so
// that nobody else's file is used. The kernel gives it mode less the umask
// (or what a default ACL of the folder says).
int createBeside(const std::filesystem::path& target, mode_t mode, std::string& name) {
    static std::atomic<unsigned> serial = 0;
    constexpr int kAttempts = 100; // names left by earlier runs with the same process id
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        name = target.string() + ".new-" + std::to_string(::getpid()) + '-' +
               std::to_string(serial++);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The file a path names, through any symbolic links (a link may point to a
// file that does not exist yet). Replacing the link itself would cut it off
// from its target.
std::filesystem::path linkTarget(std::filesystem::path path) {
    constexpr int kMostLinks = 40; // as the kernel allows
    std::error_code error;
    for (int link = 0; link < kMostLinks && std::filesystem::is_symlink(path, error); ++link) {
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error)
            break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

} // namespace

bool replaceFileContents(const std::filesystem::path& link, std::string_view content,
                         NewFileAccess access) {
    const std::filesystem::path target = linkTarget(link);
    // The mode set whatever the umask: an existing file's, or the user's
    // alone for a private one; otherwise the umask decides.
    std::optional<mode_t> exactMode;
    if (access == NewFileAccess::UserOnly)
        exactMode = 0600;
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if ((existing.st_mode & 0222) == 0)
            return false;
        exactMode = existing.st_mode & 07777;
    }

    std::string temporary;
    const int fd = createBeside(target, exactMode.value_or(0666), temporary);
    if (fd < 0)
        return false;
    const bool written = (!exactMode || ::fchmod(fd, *exactMode) == 0) &&
                         writeAll(fd, content) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable.
    const std::string directory =
        target.parent_path().empty() ? "." : target.parent_path().string();
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace pelvaro
