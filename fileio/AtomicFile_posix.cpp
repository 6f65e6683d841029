#include "fileio/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvaro {

namespace {

bool writeAll(int fd, std::string_view content) {
    const char* data = content.data();
    size_t left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
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

bool replaceFileContents(const std::filesystem::path& link, std::string_view content) {
    const std::filesystem::path target = linkTarget(link);
    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if ((existing.st_mode & 0222) == 0)
            return false;
        mode = existing.st_mode & 07777;
    }

    std::string temporary = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
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
