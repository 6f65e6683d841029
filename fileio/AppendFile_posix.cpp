#include "fileio/AppendFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvaro {

bool appendToFile(const std::filesystem::path& file, std::string_view header,
                  std::string_view text) {
    // Only the user: a log of who held which card is personal data.
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat existing {};
    std::string content;
    if (::fstat(fd, &existing) == 0 && existing.st_size == 0)
        content = header;
    content += text;
    ssize_t written = 0;
    do
        written = ::write(fd, content.data(), content.size());
    while (written < 0 && errno == EINTR);
    const bool closed = ::close(fd) == 0;
    return closed && written == static_cast<ssize_t>(content.size());
}

} // namespace pelvaro
