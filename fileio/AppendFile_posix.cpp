#include "fileio/AppendFile.h"

#include "fileio/WriteAll_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace pelvaro {

namespace {

// The file opened for appending; one made here gets 0600 even where the
// umask would take the user's own bits away.
int openForAppending(const std::filesystem::path& file) {
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC;
    const int created = ::open(file.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
    if (created >= 0) {
        ::fchmod(created, 0600);
        return created;
    }
    return errno == EEXIST ? ::open(file.c_str(), kFlags) : -1;
}

} // namespace

bool appendToFile(const std::filesystem::path& file, std::string_view header,
                  std::string_view text) {
    const int fd = openForAppending(file);
    if (fd < 0)
        return false;
    struct stat existing {};
    if (::fstat(fd, &existing) != 0) {
        ::close(fd);
        return false;
    }
    std::string content;
    if (existing.st_size == 0)
        content = header;
    content += text;
    const bool written = writeAll(fd, content);
    // Falling short, the text is taken back; should that fail too, nothing
    // more can be done here.
    if (!written)
        std::ignore = ::ftruncate(fd, existing.st_size);
    const bool closed = ::close(fd) == 0;
    return written && closed;
}

} // namespace pelvaro
