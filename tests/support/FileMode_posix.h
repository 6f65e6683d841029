#pragma once

#include <filesystem>
#include <sys/stat.h>

namespace pelvaro::test {

// The permission bits of a file, through symbolic links.
inline mode_t modeOf(const std::filesystem::path& file) {
    struct stat status {};
    ::stat(file.c_str(), &status);
    return status.st_mode & 07777;
}

// The process's umask, set for as long as the object lives.
class UmaskWhileAlive {
public:
    explicit UmaskWhileAlive(mode_t mask) : saved_(::umask(mask)) {}
    ~UmaskWhileAlive() { ::umask(saved_); }
    UmaskWhileAlive(const UmaskWhileAlive&) = delete;
    UmaskWhileAlive& operator=(const UmaskWhileAlive&) = delete;

private:
    mode_t saved_;
};

} // namespace pelvaro::test
